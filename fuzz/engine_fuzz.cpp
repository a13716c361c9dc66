// load_position and think on arbitrary game records, legal and illegal.
//
// Both engines think on the record, under a rule the input chooses.
//
// Input layout: byte 0 chooses how the rest is read, the think budget and
// the rule, byte 1 is the record's count, the bytes after it its moves.
//  - bits 0..1 of byte 0: budget 0, 1, 3 or 10 ms;
//  - bits 2..3: renju, free play, exactly five, renju;
//  - bit 7 clear: raw record, each byte a Square as it stands (off-board
//    squares, repeats and counts above 225 included; missing bytes read 0);
//  - bit 7 set: a legal record built from the bytes, count at most 225:
//    with bit 6 set each byte is a step from the previous move (dx, dy in
//    -3..4), otherwise a square number 0..224; a taken square moves on to the
//    next free one. Steps keep the stones together, so threats, fives and
//    fouls come up often.
// load_position must succeed exactly on legal records; the wrapped think
// checks the answer and the engine board afterwards (see fuzz_support.h).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "kq2/kq2.h"

namespace {

Square next_free(int index, const bool* taken) {
    for (int k = 0; k < MAX_MOVES; ++k) {
        const int i = (index + k) % MAX_MOVES;
        const Square s = Square((i / 15) * 16 + i % 15);
        if (!taken[s]) return s;
    }
    return NO_MOVE;
}

GameRecord legal_record(const uint8_t* bytes, size_t n, int count, bool steps) {
    GameRecord r{};
    bool taken[256] = {};
    int column = 7, row = 7;
    for (int i = 0; i < count && size_t(i) < n && i < MAX_MOVES; ++i) {
        int index;
        if (steps) {
            column = (column + (bytes[i] & 7) - 3 + 15) % 15;
            row = (row + ((bytes[i] >> 3) & 7) - 3 + 15) % 15;
            index = row * 15 + column;
        } else {
            index = bytes[i] % MAX_MOVES;
        }
        const Square s = next_free(index, taken);
        taken[s] = true;
        r.moves[r.count++] = s;
        column = s & 15;
        row = s >> 4;
    }
    return r;
}

GameRecord raw_record(const uint8_t* bytes, size_t n, int count) {
    GameRecord r{};
    r.count = uint8_t(count);
    for (int i = 0; i < MAX_MOVES; ++i) r.moves[i] = size_t(i) < n ? bytes[i] : 0;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const int32_t budgets[4] = {0, 1, 3, 10};
    const uint8_t layout = data[0];
    const GameRecord record = (layout & 0x80)
                                  ? legal_record(data + 2, size - 2, data[1], (layout & 0x40) != 0)
                                  : raw_record(data + 2, size - 2, data[1]);

    static const uint8_t rules[4] = {RULE_RENJU, RULE_FREE, RULE_EXACT, RULE_RENJU};
    engine_init();
    select_rule(rules[(layout >> 2) & 3]);
    if (load_position(record) != fuzz::record_is_legal(record))
        fuzz::fail("load_position disagrees on legality", &record);

    // Checked by the wrappers.
    think_start = clock_ms();
    think_budget = budgets[layout & 3];
    think(record);
    think_start = clock_ms();
    think_budget = budgets[layout & 3];
    kq2::think(record);
    return 0;
}
