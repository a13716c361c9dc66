// The square class table: one SquareClass for every combination of the four
// LineShapes of a square, per colour.
#include <cstring>

#include "board.h"

uint8_t class_table[2][65536];
uint8_t game_rule = RULE_RENJU;
uint32_t rule_lock = 0;
uint32_t lock_salt = 0;

namespace {

// The class tables of every colour under every rule; class_table and
// class_by_key hold copies of the current rule's pair.
enum ClassVariant { FIVE_OR_MORE, RENJU_BLACK, EXACT_FIVE, VARIANTS };
uint8_t variant_table[VARIANTS][65536];
uint8_t variant_by_key[VARIANTS][SHAPE_KEYS];
bool class_tables_built = false;

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

// Exactly five for either colour: a six gains nothing and is not forbidden.
uint8_t exact_class(const int* n) {
    int m[16];
    for (int k = 0; k < 16; ++k) m[k] = n[k];
    m[SHAPE_NONE] += m[SHAPE_OVERLINE];
    m[SHAPE_OVERLINE] = 0;
    return white_class(m);
}

void copy_rule_classes() {
    const int white = game_rule == RULE_EXACT ? EXACT_FIVE : FIVE_OR_MORE;
    const int black = game_rule == RULE_RENJU ? RENJU_BLACK : white;
    std::memcpy(class_table[WHITE], variant_table[white], sizeof class_table[WHITE]);
    std::memcpy(class_table[BLACK], variant_table[black], sizeof class_table[BLACK]);
    std::memcpy(class_by_key[WHITE], variant_by_key[white], sizeof class_by_key[WHITE]);
    std::memcpy(class_by_key[BLACK], variant_by_key[black], sizeof class_by_key[BLACK]);
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
        variant_table[FIVE_OR_MORE][index] = valid ? white_class(n) : CLASS_NONE;
        variant_table[RENJU_BLACK][index] = valid ? black_class(n) : CLASS_NONE;
        variant_table[EXACT_FIVE][index] = valid ? exact_class(n) : CLASS_NONE;
    }
    for (int key = 0; key < SHAPE_KEYS; ++key) {
        const int s0 = key % 11, s1 = key / 11 % 11, s2 = key / 121 % 11, s3 = key / 1331;
        const int index = s3 << 12 | s2 << 8 | s1 << 4 | s0;
        for (int v = 0; v < VARIANTS; ++v) variant_by_key[v][key] = variant_table[v][index];
    }
    class_tables_built = true;
    copy_rule_classes();
}

void select_rule(uint8_t rule) {
    game_rule = rule == RULE_FREE || rule == RULE_EXACT ? rule : RULE_RENJU;
    // Renju keeps the lock of the empty board at 0.
    rule_lock = game_rule == RULE_RENJU ? 0 : game_rule == RULE_FREE ? 0x9E3779B9u : 0x7F4A7C15u;
    if (class_tables_built) copy_rule_classes();
    apply_rule_tables();
}
