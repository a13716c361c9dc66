// The exact engine's face: the shared front end as it is, with this engine's
// ABOUT and think and nothing more, so every command the tournament engine
// adds is answered UNKNOWN. It is defined apart from the think driver: the
// fuzz harnesses wrap think at link time, which only reaches references from
// another object file.
#include "../core/protocol/protocol.h"
#include "kq.h"

const EngineFace exact_face = {
    "name=\"kq\", author=\"Tavin Orle\", version=\"2016\", country=\"China\", www=\"None\"",
    think,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};
