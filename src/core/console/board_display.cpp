// The text board: column letters across, a row letter down the side, X for
// black, O for white, '.' for an empty point, '+' on the five marked points,
// and the last move between brackets. The closing bracket takes the place of
// the next point's separator, so every point stays under its column letter.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../protocol/protocol.h"
#include "console.h"

namespace {

bool is_marked_point(int s) { return s == 51 || s == 59 || s == 119 || s == 179 || s == 187; }

} // namespace

// Builds its own board from the record, so it shows any position, not only
// the game's. Written one line per call and not flushed.
void show_board(const GameRecord& record) {
    uint8_t board[256];
    memset(board, EMPTY, sizeof board);
    for (int i = 0; i < record.count; ++i) board[record.moves[i]] = (i % 2 == 0) ? BLACK : WHITE;
    const int last = record.count > 0 ? record.moves[record.count - 1] : -1;

    fputs("\n", stdout);
    fputs("\t   a b c d e f g h i j k l m n o\n", stdout);
    for (int r = 0; r < BOARD_SIZE; ++r) {
        char row[64];
        int n = 0;
        row[n++] = '\t';
        row[n++] = char('a' + r);
        row[n++] = ' ';
        for (int c = 0; c < BOARD_SIZE; ++c) {
            const int s = r * 16 + c;
            if (s == last) {
                row[n++] = '[';
            } else if (c > 0 && s - 1 == last) {
                row[n++] = ']';
            } else {
                row[n++] = ' ';
            }
            if (board[s] == BLACK) {
                row[n++] = 'X';
            } else if (board[s] == WHITE) {
                row[n++] = 'O';
            } else {
                row[n++] = is_marked_point(s) ? '+' : '.';
            }
        }
        if (last == r * 16 + BOARD_SIZE - 1) row[n++] = ']';
        row[n++] = '\n';
        row[n] = '\0';
        fputs(row, stdout);
    }
    fputs("\n", stdout);
}
