// The game positions of tests/data and how to read them:
//
//  vcf_wins.txt  the side to move wins by continuous fours. The comment gives
//                the fewest fours it needs ("7 fours"), and may add "foul XY"
//                (black would win sooner starting with the foul XY) and
//                "counter" (a defender's block in the line makes a four);
//  vcf_none.txt  the side to move has no such win. The comment may tell what
//                makes it tempting: "foul XY" (black would win if XY were
//                allowed), "N fours run out" (N four-making moves), "counter
//                after XY" (the block of the four at XY makes a four),
//                "must block XY" (the opponent threatens five at XY);
//  defence.txt   the side to move has no such win, but its opponent would
//                have one if it were its move ("opponent wins in N fours");
//                "defence XY" names a move that stops it.
//
// One game per line in console notation (column letter, row letter), moves
// in playing order, then an optional "# comment". After n stones black is to
// move when n is even.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "four_checker.h"
#include "test_support.h"

struct DataLine {
    std::string where; // file:line, for messages
    std::string moves;
    std::string comment;
};

inline std::vector<DataLine> read_data(const std::string& name) {
    std::vector<DataLine> out;
    std::ifstream in(std::string(KQ_TEST_DATA) + "/" + name);
    EXPECT_TRUE(in.good()) << "cannot read " << name;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const size_t hash = text.find('#');
        DataLine line{name + ":" + std::to_string(number), text.substr(0, hash),
                      hash == std::string::npos ? "" : text.substr(hash + 1)};
        if (line.moves.find_first_not_of(" \t\r") == std::string::npos) continue;
        while (!line.moves.empty() && (line.moves.back() == ' ' || line.moves.back() == '\r'))
            line.moves.pop_back();
        out.push_back(line);
    }
    return out;
}

// The number written before `word` in a comment ("7 fours"), or -1.
inline int number_before(const std::string& comment, const std::string& word) {
    const size_t at = comment.find(" " + word);
    if (at == std::string::npos) return -1;
    size_t start = at;
    while (start > 0 && isdigit(static_cast<unsigned char>(comment[start - 1]))) --start;
    return start == at ? -1 : std::stoi(comment.substr(start, at - start));
}

// The square written after `word` in a comment ("defence KH"), or NO_MOVE.
inline Square square_after(const std::string& comment, const std::string& word) {
    const size_t at = comment.find(word + " ");
    if (at == std::string::npos || at + word.size() + 3 > comment.size()) return NO_MOVE;
    const char c = comment[at + word.size() + 1], r = comment[at + word.size() + 2];
    if (c < 'A' || c > 'O' || r < 'A' || r > 'O') return NO_MOVE;
    return sq(c - 'A', r - 'A');
}

inline std::string name_of(Square s) {
    if (!on_board(s)) return "none";
    return {char('A' + (s & 15)), char('A' + (s >> 4))};
}

// Replays the game move by move and checks that it is a legal record: every
// square empty, no move completes a five, no black move is a foul. Leaves
// the position on the engine board with every line settled.
inline bool load_legal(const DataLine& line, GameRecord& record) {
    if (!parse_moves(line.moves, record)) {
        ADD_FAILURE() << line.where << ": not a move list";
        return false;
    }
    engine_ready();
    reset_engine_board();
    for (int i = 0; i < record.count; ++i) {
        const Square m = record.moves[i];
        const uint8_t colour = uint8_t(~i & 1);
        if (cells[m] != EMPTY) {
            ADD_FAILURE() << line.where << ": move " << i + 1 << " on an occupied square";
            return false;
        }
        if (FourChecker::makes_five(m, colour)) {
            ADD_FAILURE() << line.where << ": move " << i + 1 << " completes five";
            return false;
        }
        if (colour == BLACK && is_forbidden(m)) {
            ADD_FAILURE() << line.where << ": move " << i + 1 << " is a foul for black";
            return false;
        }
        place_stone(m, colour);
    }
    settle_all_lines();
    return true;
}
