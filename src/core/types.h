// Shared vocabulary of the whole engine: squares, colours, directions, the
// LineShape and SquareClass codes and the engine result bytes.
//
// A Square is one byte, row * 16 + column. Column 15 and every value from 240
// up are off the board; 255 means "no move". The column is the low nibble, so
// protocol coordinates "x,y" are Square y * 16 + x.
#pragma once

#include <cstdint>

using Square = uint8_t;

constexpr Square NO_MOVE = 255;
constexpr Square CENTRE = 7 * 16 + 7;
constexpr int BOARD_SIZE = 15;
constexpr int MAX_MOVES = 225;

constexpr inline bool on_board(unsigned s) { return s < 240 && (s & 15) != 15; }

// Stone colours. The stone at place i of a game is black when i is even.
constexpr uint8_t WHITE = 0;
constexpr uint8_t BLACK = 1;
constexpr uint8_t EMPTY = 2;

// LineShape: what a stone of one colour on an empty square makes along one line.
constexpr uint8_t SHAPE_NONE = 0;         // occupied, or nothing gained on this line
constexpr uint8_t SHAPE_ONE = 1;          // room for five, combines with nothing
constexpr uint8_t SHAPE_TWO = 2;          // a two that can still become an open three
constexpr uint8_t SHAPE_CLOSED_THREE = 3; // can become a four but not an open four
constexpr uint8_t SHAPE_OPEN_THREE = 4;   // can become an open four
constexpr uint8_t SHAPE_FOUR = 5;         // one square completes five
constexpr uint8_t SHAPE_FOUR_EXTRA = 6;   // a four plus a closed three on the same line
constexpr uint8_t SHAPE_OPEN_FOUR = 7;    // either end completes five
constexpr uint8_t SHAPE_FIVE = 8;         // completes five (white: five or more)
constexpr uint8_t SHAPE_OVERLINE = 9;     // black only: six or more
constexpr uint8_t SHAPE_TWO_FOURS = 10;   // two separate fours on one line (X.X.X.X middle)

// SquareClass: what a stone on an empty square makes over its four lines.
constexpr uint8_t CLASS_NONE = 0;
constexpr uint8_t CLASS_ONES = 1;
constexpr uint8_t CLASS_TWO = 2;
constexpr uint8_t CLASS_CLOSED_THREE = 3;
constexpr uint8_t CLASS_DOUBLE_TWO = 4;
constexpr uint8_t CLASS_OPEN_THREE = 5;
constexpr uint8_t CLASS_THREE_TWO = 6;
constexpr uint8_t CLASS_DOUBLE_THREE = 7; // black: forbidden when two threes are real
constexpr uint8_t CLASS_FOUR = 8;
constexpr uint8_t CLASS_FOUR_MORE = 9;
constexpr uint8_t CLASS_UNUSED = 10; // never assigned
constexpr uint8_t CLASS_FOUR_THREE = 11;
constexpr uint8_t CLASS_FOUR_THREE_THREE = 12; // black only: forbidden when two threes are real
constexpr uint8_t CLASS_DOUBLE_FOUR = 13;      // forbidden for black
constexpr uint8_t CLASS_OPEN_FOUR = 14;
constexpr uint8_t CLASS_FIVE = 15;
constexpr uint8_t CLASS_OVERLINE = 16; // black only, forbidden
constexpr int CLASS_SLOTS = 18;

// Engine results: signed bytes seen from the side asked about.
constexpr int8_t RESULT_WIN = 10;
constexpr int8_t RESULT_LOSS = -10;
constexpr int8_t RESULT_ABORTED = -120;

// The game as a list of moves in the order played; passed to the engine by value.
struct GameRecord {
    uint8_t count;
    Square moves[MAX_MOVES];
};
static_assert(sizeof(GameRecord) == 226, "GameRecord is 226 bytes");
