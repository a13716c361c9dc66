// The square class table: one SquareClass for every combination of the four
// LineShapes of a square, per colour.
#include "board.h"

uint8_t class_table[2][65536];

namespace {

// Rules shared by both colours once no line holds a four of any kind.
uint8_t common_class(const int* n) {
    if (n[SHAPE_OPEN_THREE] >= 2) return CLASS_DOUBLE_THREE;
    if (n[SHAPE_OPEN_THREE] == 1)
        return n[SHAPE_TWO] >= 1 || n[SHAPE_CLOSED_THREE] >= 1 ? CLASS_THREE_TWO : CLASS_OPEN_THREE;
    if (n[SHAPE_TWO] + n[SHAPE_CLOSED_THREE] >= 2) return CLASS_DOUBLE_TWO;
    if (n[SHAPE_CLOSED_THREE] >= 1) return CLASS_CLOSED_THREE;
    if (n[SHAPE_TWO] >= 1) return CLASS_TWO;
    if (n[SHAPE_ONE] >= 1) return CLASS_ONES;
    return CLASS_NONE;
}

// Black: an exact five wins over everything, an overline beats a double four,
// an open four with two open threes is a four-three-three.
uint8_t black_class(const int* n) {
    if (n[SHAPE_FIVE] >= 1) return CLASS_FIVE;
    if (n[SHAPE_OVERLINE] >= 1) return CLASS_OVERLINE;
    if (n[SHAPE_TWO_FOURS] >= 1) return CLASS_DOUBLE_FOUR;
    int fours = n[SHAPE_FOUR] + n[SHAPE_FOUR_EXTRA] + n[SHAPE_OPEN_FOUR];
    if (fours >= 2) return CLASS_DOUBLE_FOUR;
    if (fours == 1) {
        if (n[SHAPE_OPEN_THREE] >= 2) return CLASS_FOUR_THREE_THREE;
        if (n[SHAPE_OPEN_FOUR] == 1) return CLASS_OPEN_FOUR;
        if (n[SHAPE_OPEN_THREE] == 1) return CLASS_FOUR_THREE;
        if (n[SHAPE_FOUR_EXTRA] == 1) return CLASS_FOUR_MORE;
        if (n[SHAPE_TWO] >= 1 || n[SHAPE_CLOSED_THREE] >= 1) return CLASS_FOUR_MORE;
        return CLASS_FOUR;
    }
    return common_class(n);
}

// White: nothing is forbidden; five or more wins.
uint8_t white_class(const int* n) {
    if (n[SHAPE_FIVE] >= 1 || n[SHAPE_OVERLINE] >= 1) return CLASS_FIVE;
    if (n[SHAPE_TWO_FOURS] >= 1) return CLASS_DOUBLE_FOUR;
    if (n[SHAPE_FOUR] + n[SHAPE_FOUR_EXTRA] + n[SHAPE_OPEN_FOUR] >= 2) return CLASS_DOUBLE_FOUR;
    if (n[SHAPE_OPEN_FOUR] == 1) return CLASS_OPEN_FOUR;
    if (n[SHAPE_FOUR] + n[SHAPE_FOUR_EXTRA] == 1) {
        if (n[SHAPE_OPEN_THREE] >= 1) return CLASS_FOUR_THREE;
        if (n[SHAPE_FOUR_EXTRA] == 1) return CLASS_FOUR_MORE;
        if (n[SHAPE_TWO] >= 1 || n[SHAPE_CLOSED_THREE] >= 1) return CLASS_FOUR_MORE;
        return CLASS_FOUR;
    }
    return common_class(n);
}

} // namespace

void build_class_table() {
    for (int index = 0; index < 65536; ++index) {
        int n[16] = {};
        bool valid = true;
        for (int d = 0; d < 4; ++d) {
            int shape = (index >> (4 * d)) & 15;
            if (shape > SHAPE_TWO_FOURS) valid = false;
            ++n[shape];
        }
        // Nibbles above 10 never occur; their entries stay 0.
        class_table[WHITE][index] = valid ? white_class(n) : CLASS_NONE;
        class_table[BLACK][index] = valid ? black_class(n) : CLASS_NONE;
    }
    for (int key = 0; key < SHAPE_KEYS; ++key) {
        const int s0 = key % 11, s1 = key / 11 % 11, s2 = key / 121 % 11, s3 = key / 1331;
        const int index = s3 << 12 | s2 << 8 | s1 << 4 | s0;
        class_by_key[WHITE][key] = class_table[WHITE][index];
        class_by_key[BLACK][key] = class_table[BLACK][index];
    }
}
