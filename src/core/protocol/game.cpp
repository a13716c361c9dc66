// The game record, the two boards derived from it, and the referee.
//
// Every stone that enters the game, from the manager, the engine or a person
// at the console, goes through record_move. The front-end board mirrors the
// record (colour by Square, EMPTY elsewhere); before the first reset it is all
// zero, which holds no empty square, so nothing can be recorded yet.
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../board/board.h"
#include "../console/console.h"
#include "../engine/engine.h"
#include "protocol.h"

GameRecord game_record;
uint8_t frontend_board[256];
int32_t protocol_board[BOARD_SIZE * BOARD_SIZE];
uint8_t game_live = 0;

namespace {

enum Verdict { VERDICT_NONE, VERDICT_FIVE, VERDICT_FORBIDDEN };

// Judges move m, the record's last, from the position of the first n moves.
Verdict referee(Square m, int n) {
    // Nothing may have thought yet (a BOARD block is refereed before its think),
    // so the tables may still have to be built.
    engine_init();
    if (!engine_initialised) return VERDICT_NONE;
    GameRecord before = game_record;
    before.count = uint8_t(n);
    if (!load_position(before) || cells[m] != EMPTY) return VERDICT_NONE;
    const uint8_t side = (ply % 2 == 0) ? BLACK : WHITE;
    // Five first: a black five wins even where the same stone would be forbidden.
    if (square_class[side][m] == CLASS_FIVE) return VERDICT_FIVE;
    if (side == BLACK && is_forbidden(m)) return VERDICT_FORBIDDEN;
    return VERDICT_NONE;
}

} // namespace

bool record_move(Square m) {
    if (!on_board(m) || frontend_board[m] != EMPTY) return false;
    const int n = game_record.count;
    assert(n < MAX_MOVES);
    game_record.moves[n] = m;
    game_record.count = uint8_t(n + 1);
    frontend_board[m] = (n % 2 == 0) ? BLACK : WHITE;
    // No line can be decided before the sixth stone.
    if (n + 1 < 6) return true;
    switch (referee(m, n)) {
    case VERDICT_FIVE:
        game_live = 0;
        fputs("MESSAGE Five in a row.\n", stdout);
        break;
    case VERDICT_FORBIDDEN:
        game_live = 0;
        fputs("MESSAGE Forbidden move.\n", stdout);
        break;
    case VERDICT_NONE:
        break;
    }
    return true;
}

void clear_protocol_board() { memset(protocol_board, 0, sizeof protocol_board); }

void reset_game() {
    game_record.count = 0;
    memset(frontend_board, EMPTY, sizeof frontend_board);
    game_live = 1;
}

void new_game() {
    clear_protocol_board();
    reset_game();
    send_line("MESSAGE kq");
    send_line("OK");
}

void take_back() {
    if (game_record.count == 0) return;
    game_record.count--;
    game_live = 0;
    frontend_board[game_record.moves[game_record.count]] = EMPTY;
    show_board(game_record);
}
