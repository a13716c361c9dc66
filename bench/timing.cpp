// Reply times through the protocol against the think budget.
//
//   kq-timing ENGINE [-n MOVES] [-g GAMES] [BUDGET_MS ...]
//   kq-timing ENGINE [-n MOVES] [-g GAMES] --turn TURN_MS ...
//   kq-timing ENGINE [-n MOVES] [-g GAMES] --clock MATCH_MS
//
// For each budget (default 50, 200 and 1000 ms) two engine processes play
// each other from a list of openings, the way a game manager drives them,
// until MOVES replies (default 500) have been timed, or GAMES games have been
// played when -g is given. Games alternate between the two ways a manager
// sets the time: "INFO timeout_turn T+100" (the budget is timeout_turn less
// 100 ms) and "INFO time_left 20*T" (a twentieth of the time left). A reply is
// timed from writing the request (TURN, or the BOARD block that gives an
// engine the game so far) to reading its "x,y" line.
//
// With --turn the numbers are turn limits: "INFO timeout_turn T" (or
// "INFO time_left 20*T"), and a reply after T ms is late; the figures are
// reply time less T.
//
// With --clock every game is played on a match clock of MATCH_MS per engine
// (INFO timeout_match, and INFO time_left before every move, as a manager
// keeps it): a reply is late when it comes after the time that was left, and
// the figures are reply time less that time left.
//
// Per budget it prints the median, 99th percentile and maximum of reply time
// less budget, and how many replies came after T+100 ms, the turn limit
// itself; the slowest replies are listed with the position they answered, in
// console letters, so the long step can be replayed. Exits non-zero on a late
// reply, a missing reply or an illegal move.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine_pipe.h"

namespace {

// Black's first stone in the centre, white's beside it, black's second near.
const char* const openings[] = {
    "HHHGHF", "HHHGIF", "HHHGJF", "HHHGIG", "HHHGJG", "HHHGII", "HHHGIJ", "HHHGJI", "HHHGGI",
    "HHHGGJ", "HHIGJF", "HHIGIF", "HHIGJG", "HHIGJH", "HHIGHI", "HHIGGJ", "HHIGJJ", "HHIGII",
    "HHIGGF", "HHIGJI", "HH",     "HHIH",   "HHII",   "HHIIJJ", "HHIHJH",
};
constexpr int OPENINGS = sizeof openings / sizeof *openings;

struct Move {
    int x, y;
};

std::string letters(const std::vector<Move>& game) {
    std::string s;
    for (const Move& m : game) s += {char('A' + m.x), char('A' + m.y)};
    return s;
}

struct Sample {
    double overshoot_ms; // reply time less budget
    std::string position;
    std::string mode;
};

struct Run {
    int budget = 0;
    int clock = 0;      // a match clock in ms instead of a budget per move
    bool turns = false; // the numbers are turn limits: timeout_turn T, late after T
    std::vector<Sample> samples;
    int late = 0; // after the turn limit, budget + 100 ms
    int games = 0;
    bool fault = false;
};

bool parse_reply(const std::string& line, Move& m) {
    if (!EnginePipe::is_move(line)) return false;
    m.x = std::atoi(line.c_str());
    m.y = std::atoi(line.c_str() + line.find(',') + 1);
    return m.x >= 0 && m.x < 15 && m.y >= 0 && m.y < 15;
}

// Plays one game; false on a fault.
bool play_game(const char* engine, int number, Run& run, size_t moves_wanted) {
    const int budget = run.budget;
    const bool by_turn = run.clock == 0 && number % 2 == 0;
    const std::string mode = run.clock ? "match clock" : by_turn ? "timeout_turn" : "time_left";
    double used[2] = {0, 0}; // each engine's clock use in this game, ms
    std::unique_ptr<EnginePipe> engines[2] = {std::make_unique<EnginePipe>(engine),
                                              std::make_unique<EnginePipe>(engine)};
    for (auto& e : engines) {
        e->send("START 15\n");
        if (e->line(10000) != "MESSAGE kq" || e->line(10000) != "OK") {
            std::printf("engine did not start\n");
            return false;
        }
        if (run.clock) {
            e->send("INFO timeout_match " + std::to_string(run.clock) + "\n");
            e->send("INFO timeout_turn " + std::to_string(run.clock) + "\n");
        } else {
            const int turn = run.turns ? budget : budget + 100;
            e->send(by_turn ? "INFO timeout_turn " + std::to_string(turn) + "\n"
                            : "INFO time_left " + std::to_string(20 * budget) + "\n");
        }
    }
    std::vector<Move> game;
    const char* opening = openings[(number / 2) % OPENINGS];
    for (const char* p = opening; p[0] && p[1]; p += 2) game.push_back({p[0] - 'A', p[1] - 'A'});
    bool taken[15][15] = {};
    for (const Move& m : game) taken[m.x][m.y] = true;

    bool told[2] = {false, false};
    bool over = false, ok = true;
    while (!over && game.size() < 225 && run.samples.size() < moves_wanted) {
        const int mover = int(game.size() % 2); // 0 black
        const int who = (mover + number / 2) % 2;
        EnginePipe& e = *engines[who];
        std::string request;
        if (!told[who]) {
            request = "BOARD\n";
            for (size_t i = 0; i < game.size(); ++i)
                request += std::to_string(game[i].x) + "," + std::to_string(game[i].y) + "," +
                           (int(i % 2) == mover ? "1" : "2") + "\n";
            request += "DONE\n";
            told[who] = true;
        } else {
            const Move& last = game.back();
            request = "TURN " + std::to_string(last.x) + "," + std::to_string(last.y) + "\n";
        }
        const std::string position = letters(game);
        // With a match clock the manager tells the time left before each move,
        // and a reply later than that loses.
        const double left = run.clock - used[who];
        if (run.clock) request = "INFO time_left " + std::to_string(int(left)) + "\n" + request;
        const auto t0 = std::chrono::steady_clock::now();
        e.send(request);
        const std::vector<std::string> lines = e.reply((run.clock ? run.clock : budget) + 10000);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        Move m;
        if (!parse_reply(lines.back(), m) || taken[m.x][m.y]) {
            std::printf("budget %d: bad reply '%s' to %s\n", budget, lines.back().c_str(),
                        position.c_str());
            ok = false;
            break;
        }
        if (run.clock) {
            used[who] += ms;
            run.samples.push_back({ms - left, position, mode});
            if (ms > left) run.late++;
        } else {
            run.samples.push_back({ms - budget, position, mode});
            if (ms > budget + (run.turns ? 0 : 100)) run.late++;
        }
        taken[m.x][m.y] = true;
        game.push_back(m);
        for (const std::string& l : lines)
            if (l == "MESSAGE Five in a row." || l == "MESSAGE Forbidden move.") over = true;
    }
    // A clean end, so a wrapper around the engine (a memory probe) reports.
    for (auto& e : engines) {
        e->send("END\n");
        while (e->line(10000)[0] != '<') {
        }
    }
    run.games++;
    return ok;
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: kq-timing ENGINE [-n MOVES] [-g GAMES] [BUDGET_MS ... | --turn TURN_MS "
                    "... | --clock MS]\n");
        return 2;
    }
    const char* engine = argv[1];
    size_t moves_wanted = 500;
    int games_wanted = 0, clock = 0;
    bool turns = false;
    std::vector<int> budgets;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-n") == 0 && i + 1 < argc) {
            moves_wanted = size_t(std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "-g") == 0 && i + 1 < argc) {
            games_wanted = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--turn") == 0) {
            turns = true;
        } else if (std::strcmp(argv[i], "--clock") == 0 && i + 1 < argc) {
            clock = std::atoi(argv[++i]);
        } else {
            budgets.push_back(std::atoi(argv[i]));
        }
    }
    if (clock > 0) budgets = {0};
    if (budgets.empty()) budgets = {50, 200, 1000};
    if (games_wanted > 0) moves_wanted = size_t(-1);

    bool failed = false;
    std::printf("%8s %8s %6s %10s %10s %10s %8s\n", "budget", "replies", "games", "median", "p99",
                "max", "late");
    for (int budget : budgets) {
        Run run;
        run.budget = budget;
        run.clock = clock;
        run.turns = turns;
        for (int g = 0; games_wanted > 0 ? g < games_wanted : run.samples.size() < moves_wanted;
             ++g) {
            if (!play_game(engine, g, run, moves_wanted)) {
                run.fault = true;
                break;
            }
        }
        std::vector<double> over;
        for (const Sample& s : run.samples) over.push_back(s.overshoot_ms);
        std::sort(over.begin(), over.end());
        std::printf("%6d ms %8zu %6d %+8.1f ms %+8.1f ms %+8.1f ms %8d%s\n", clock ? clock : budget,
                    run.samples.size(), run.games, percentile(over, 0.5), percentile(over, 0.99),
                    over.empty() ? 0.0 : over.back(), run.late, run.fault ? "  FAULT" : "");
        std::vector<Sample> slowest = run.samples;
        std::sort(slowest.begin(), slowest.end(),
                  [](const Sample& a, const Sample& b) { return a.overshoot_ms > b.overshoot_ms; });
        for (size_t i = 0; i < slowest.size() && i < 3; ++i)
            std::printf("           slowest %+7.1f ms (%s) after %s\n", slowest[i].overshoot_ms,
                        slowest[i].mode.c_str(), slowest[i].position.c_str());
        std::fflush(stdout);
        failed |= run.fault || run.late > 0;
    }
    return failed ? 1 : 0;
}
