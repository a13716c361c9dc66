// pbrain-kq2: the shared front end over the tournament engine.
#include "../core/protocol/protocol.h"
#include "kq2.h"

int main() {
    kq2::prepare_face();
    return protocol_main(kq2::tournament_face);
}
