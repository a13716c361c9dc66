#include "protocol/protocol.h"

int main() {
    use_tournament_face();
    return protocol_main();
}
