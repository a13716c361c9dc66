// Helpers shared by the engine tests: positions drawn as diagrams, and
// snapshots of the engine board for "left as found" checks.
#pragma once

#include <cstring>
#include <initializer_list>
#include <utility>
#include <string>

#include "core/board/board.h"
#include "kq/kq.h"
#include "core/solver/solver.h"

inline Square sq(int column, int row) { return Square(row * 16 + column); }

inline void engine_ready() {
    engine_init();
}

// A position drawn as 15 rows of 15 characters (row 0 first, column 0 left):
// 'X' black, 'O' white, anything else empty. Blank lines and spaces are
// ignored, so diagrams can be indented. Black stones are placed first.
inline void set_diagram(const char* diagram) {
    engine_ready();
    reset_engine_board();
    std::string cleaned;
    for (const char* p = diagram; *p; ++p)
        if (*p != ' ' && *p != '\n') cleaned += *p;
    for (uint8_t colour : {BLACK, WHITE})
        for (size_t i = 0; i < cleaned.size() && i < 225; ++i) {
            const char c = cleaned[i];
            if ((colour == BLACK && c == 'X') || (colour == WHITE && c == 'O'))
                place_stone(sq(int(i % 15), int(i / 15)), colour);
        }
}

struct BoardSnapshot {
    uint8_t cells[256];
    uint8_t ply;
    uint32_t hash_index, hash_lock;
    uint8_t line_shape[2][4][256];
    uint8_t square_class[2][256];
    int32_t class_count[2][CLASS_SLOTS];

    static BoardSnapshot take() {
        BoardSnapshot s;
        std::memcpy(s.cells, ::cells, sizeof s.cells);
        s.ply = ::ply;
        s.hash_index = ::hash_index;
        s.hash_lock = ::hash_lock;
        std::memcpy(s.line_shape, ::line_shape, sizeof s.line_shape);
        std::memcpy(s.square_class, ::square_class, sizeof s.square_class);
        std::memcpy(s.class_count, ::class_count, sizeof s.class_count);
        return s;
    }
    bool operator==(const BoardSnapshot& o) const {
        return std::memcmp(cells, o.cells, sizeof cells) == 0 && ply == o.ply &&
               hash_index == o.hash_index && hash_lock == o.hash_lock &&
               std::memcmp(line_shape, o.line_shape, sizeof line_shape) == 0 &&
               std::memcmp(square_class, o.square_class, sizeof square_class) == 0 &&
               std::memcmp(class_count, o.class_count, sizeof class_count) == 0;
    }
};

// Settles every line: place and remove a stone on each line's first square
// where that square is empty, so that "board unchanged" checks compare
// computed values everywhere instead of the reset value 1.
inline void settle_all_lines() {
    for (int s = 0; s < 240; ++s) {
        if ((s & 15) == 15 || cells[s] != EMPTY) continue;
        place_stone(Square(s), BLACK);
        remove_stone();
    }
}

using Stones = std::initializer_list<std::pair<int, int>>; // (column, row)

// Black's and white's stones on an empty board whose lines are all settled.
inline void setup(Stones black, Stones white) {
    engine_ready();
    reset_engine_board();
    for (auto [c, r] : black) place_stone(sq(c, r), BLACK);
    for (auto [c, r] : white) place_stone(sq(c, r), WHITE);
    settle_all_lines();
}

// A game in console notation, "HH HI IH ...": two capital letters a move,
// column first. Returns false on anything else (or more than 225 moves).
inline bool parse_moves(const std::string& text, GameRecord& record) {
    record.count = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || record.count >= MAX_MOVES) return false;
        const int column = text[i] - 'A', row = text[i + 1] - 'A';
        if (column < 0 || column >= BOARD_SIZE || row < 0 || row >= BOARD_SIZE) return false;
        if (i + 2 < text.size() && text[i + 2] != ' ' && text[i + 2] != '\t') return false;
        record.moves[record.count++] = sq(column, row);
        i += 2;
    }
    return true;
}

// Replays a game given in console notation on the engine board.
inline bool load_moves(const std::string& text) {
    GameRecord record{};
    return parse_moves(text, record) && load_position(record);
}
