// pbrain-kq: the shared front end over the exact engine.
#include "../core/protocol/protocol.h"
#include "kq.h"

int main() { return protocol_main(exact_face); }
