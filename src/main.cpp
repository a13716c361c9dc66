#include "protocol/protocol.h"

int main() { return protocol_main(); }
