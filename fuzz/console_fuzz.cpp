// Console play mode on arbitrary input. Each input is used twice:
//  1. as the argument of a T command, given to parse_position, whose result
//     must match an independent reading of the same text;
//  2. as what a person types, read by console_main until Q or end of input,
//     with every think cut to at most 1 ms.
// The wrapped think and record_move check every answer and every recorded
// move (see fuzz_support.h); at the end the record and the front-end board
// must agree and every announced move must be a think's answer.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"

namespace {

bool is_letter(char c) { return c >= 'A' && c <= 'O'; }

// Pairs of letters A..O after blanks, column first, until a character that
// does not begin a pair; false as soon as a square repeats.
bool expected_position(const char* text, GameRecord& expected) {
    expected.count = 0;
    bool seen[256] = {};
    size_t i = 0;
    for (;;) {
        while (text[i] == ' ') ++i;
        if (!is_letter(text[i]) || !is_letter(text[i + 1])) return true;
        const Square s = Square((text[i + 1] - 'A') * 16 + (text[i] - 'A'));
        if (seen[s]) return false;
        seen[s] = true;
        expected.moves[expected.count++] = s;
        i += 2;
    }
}

void check_parse_position(const uint8_t* data, size_t size) {
    const size_t n = size < sizeof console_argument - 1 ? size : sizeof console_argument - 1;
    std::memcpy(console_argument, data, n);
    console_argument[n] = '\0';
    GameRecord expected{};
    const bool expected_ok = expected_position(console_argument, expected);
    GameRecord parsed;
    std::memset(&parsed, 0xA5, sizeof parsed);
    const bool ok = parse_position(parsed);
    if (ok != expected_ok) fuzz::fail("parse_position accepted or refused wrongly");
    if (!ok) return;
    if (parsed.count != expected.count ||
        std::memcmp(parsed.moves, expected.moves, expected.count) != 0)
        fuzz::fail("parse_position read other squares", &parsed);
    if (!fuzz::record_is_legal(parsed))
        fuzz::fail("parse_position gave an illegal record", &parsed);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Output::capture();
    engine_face = &exact_face; // the console plays the exact engine
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::reset_front_end();
    check_parse_position(data, size);

    FILE* input = fuzz::open_input(data, size);
    if (!input) return 0;
    command_input = input;
    timeout_turn = 101; // 1 ms for every think
    fuzz::Output::clear();
    console_main();
    fuzz::check_announcements(fuzz::Output::text());
    fuzz::check_front_end(false);
    command_input = stdin;
    std::fclose(input);
    return 0;
}
