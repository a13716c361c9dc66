// Self-play through the protocol: two engine processes play each other from
// a set of openings, each move requested the way a game manager does. Every
// reply is checked (an empty square on the board; for black not a foul
// unless it blocks a five) and timed against the per-move budget.
//
//   kq-selfplay ENGINE [games] [timeout_turn_ms]      (defaults 20, 300)
//
// Exits non-zero when any game saw an illegal or forbidden move, a missing
// reply, or a reply later than the budget plus 50 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/board/board.h"
#include "kq/kq.h"

#include "engine_pipe.h"

namespace {

const char* engine_path = nullptr;

// Black's first stone in the centre, white's beside it (directly or
// diagonally), black's second within two squares.
const char* const openings[] = {
    "HHHGHF", "HHHGIF", "HHHGJF", "HHHGIG", "HHHGJG", "HHHGII", "HHHGIJ",
    "HHHGJI", "HHHGGI", "HHHGGJ", "HHIGJF", "HHIGIF", "HHIGJG", "HHIGJH",
    "HHIGHI", "HHIGGJ", "HHIGJJ", "HHIGII", "HHIGGF", "HHIGJI",
};

Square parse_move(const std::string& line) {
    int x = -1, y = -1;
    if (std::sscanf(line.c_str(), "%d,%d", &x, &y) != 2 || x < 0 || x > 14 || y < 0 || y > 14)
        return NO_MOVE;
    return Square(y * 16 + x);
}

struct Totals {
    int games = 0, black_wins = 0, white_wins = 0, draws = 0, faults = 0, late = 0;
    int replies = 0;
    double worst_ms = 0;
    std::vector<double> times;
};

// Plays one game; returns false on a fault of either engine.
bool play_game(int number, const char* opening, int timeout_turn, Totals& totals) {
    const int budget = timeout_turn - 100;
    std::unique_ptr<EnginePipe> engines[2] = {std::make_unique<EnginePipe>(engine_path),
                                              std::make_unique<EnginePipe>(engine_path)};
    for (auto& e : engines) {
        e->send("START 15\n");
        if (e->line(5000) != "MESSAGE kq" || e->line(5000) != "OK") {
            std::printf("game %d: engine did not start\n", number);
            return false;
        }
        e->send("INFO timeout_turn " + std::to_string(timeout_turn) + "\n");
    }
    GameRecord record{};
    for (const char* p = opening; p[0] && p[1]; p += 2)
        record.moves[record.count++] = Square((p[1] - 'A') * 16 + (p[0] - 'A'));
    // Engine 0 plays black in even games.
    bool told[2] = {false, false};
    std::string result = "draw";
    while (record.count < MAX_MOVES) {
        const int colour = (record.count & 1) ? WHITE : BLACK;
        const int who = (colour == BLACK) == (number % 2 == 0) ? 0 : 1;
        EnginePipe& e = *engines[who];
        const auto t0 = std::chrono::steady_clock::now();
        if (!told[who]) {
            // The whole game so far, each stone as own (1) or the opponent's (2).
            std::string block = "BOARD\n";
            for (int i = 0; i < record.count; ++i) {
                const int mover = (i & 1) ? WHITE : BLACK;
                block += std::to_string(record.moves[i] & 15) + "," +
                         std::to_string(record.moves[i] >> 4) + "," +
                         (mover == colour ? "1" : "2") + "\n";
            }
            e.send(block + "DONE\n");
            told[who] = true;
        } else {
            const Square last = record.moves[record.count - 1];
            e.send("TURN " + std::to_string(last & 15) + "," + std::to_string(last >> 4) + "\n");
        }
        const std::vector<std::string> lines = e.reply(budget + 5000);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        totals.replies++;
        totals.times.push_back(ms);
        totals.worst_ms = std::max(totals.worst_ms, ms);
        if (ms > budget + 50) totals.late++;
        const Square m = parse_move(lines.back());
        load_position(record);
        if (m == NO_MOVE || cells[m] != EMPTY) {
            std::printf("game %d: illegal reply '%s' at move %d\n", number, lines.back().c_str(),
                        record.count + 1);
            return false;
        }
        const bool five = square_class[colour][m] == CLASS_FIVE;
        if (colour == BLACK && !five && is_forbidden(m) && square_class[WHITE][m] != CLASS_FIVE) {
            std::printf("game %d: black played a foul at %c%c (move %d)\n", number, 'A' + (m & 15),
                        'A' + (m >> 4), record.count + 1);
            return false;
        }
        record.moves[record.count++] = m;
        if (five) {
            result = colour == BLACK ? "black" : "white";
            break;
        }
        if (colour == BLACK && is_forbidden(m)) {
            result = "white (black forced onto a foul)";
            break;
        }
    }
    for (auto& e : engines) e->send("END\n");
    std::printf("game %2d  opening %s  %3d moves  winner %s\n", number, opening, record.count,
                result.c_str());
    if (result == "black")
        totals.black_wins++;
    else if (result == "draw")
        totals.draws++;
    else
        totals.white_wins++;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: kq-selfplay ENGINE [games] [timeout_turn_ms]\n");
        return 2;
    }
    engine_path = argv[1];
    const int games = argc > 2 ? std::atoi(argv[2]) : 20;
    const int timeout_turn = argc > 3 ? std::atoi(argv[3]) : 300;
    engine_init();
    Totals totals;
    for (int g = 0; g < games; ++g) {
        totals.games++;
        if (!play_game(g, openings[g % (sizeof openings / sizeof *openings)], timeout_turn, totals))
            totals.faults++;
    }
    std::sort(totals.times.begin(), totals.times.end());
    const double median = totals.times.empty() ? 0 : totals.times[totals.times.size() / 2];
    std::printf("games %d: black %d, white %d, draws %d, faulty %d\n", totals.games,
                totals.black_wins, totals.white_wins, totals.draws, totals.faults);
    std::printf("replies %d: median %.1f ms, worst %.1f ms, later than budget + 50 ms: %d\n",
                totals.replies, median, totals.worst_ms, totals.late);
    return totals.faults == 0 && totals.late == 0 ? 0 : 1;
}
