// The tournament engine end to end: the real pbrain-kq2 on pipes. What it
// adds to the shared front end (its name, the report line, the rules, the
// limits, STOP, YXSHOWFORBID, YXHASHCLEAR) and what the exact engine must keep
// answering.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine_process.h"

namespace {

const std::string KQ2_ABOUT =
    "name=\"kq2\", author=\"the kq developers\", version=\"0.1\", country=\"None\", www=\"None\"\n";

using Moves = std::vector<std::pair<int, int>>; // (x, y) in the order played

// Black's and white's stones interleaved into one game, black first; white
// has as many stones as black, or one fewer.
Moves game_of(const Moves& black, const Moves& white) {
    EXPECT_TRUE(white.size() == black.size() || white.size() + 1 == black.size());
    Moves game;
    for (size_t i = 0; i < black.size() || i < white.size(); ++i) {
        if (i < black.size()) game.push_back(black[i]);
        if (i < white.size()) game.push_back(white[i]);
    }
    return game;
}

std::string cell(const std::pair<int, int>& m) {
    return std::to_string(m.first) + "," + std::to_string(m.second);
}

// A new game holding `moves`, entered with PLAY (no think); every echo and
// any referee line are read and returned.
std::string new_game(EngineProcess& e, const Moves& moves) {
    e.send("START 15");
    EXPECT_TRUE(e.expect_text("MESSAGE kq\nOK\n"));
    std::string said;
    for (const auto& m : moves) {
        e.send("PLAY " + cell(m));
        said += e.read_until(cell(m) + "\n", 10000);
    }
    return said;
}

// The lines of one think's answer: the report line, "MESSAGE computer: #XY",
// maybe a referee line, then the move "x,y", which the report's principal
// variation must begin with. With `details`, the per-iteration report lines
// before them are allowed (and counted).
struct Answer {
    std::string move;
    std::string report;
    int detail_lines = 0;
};

bool is_number(const std::string& t, bool sign = false) {
    size_t i = sign && !t.empty() && t[0] == '-' ? 1 : 0;
    if (i == t.size()) return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

// "MESSAGE depth D-S value V nodes N time T speed S pv x,y ..." with V a
// number or "win in N" / "loss in N", and maybe a reason in brackets.
bool is_report(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    size_t i = 0;
    auto word = [&](const char* expected) { return i < w.size() && w[i++] == expected; };
    auto number = [&](bool sign = false) { return i < w.size() && is_number(w[i++], sign); };
    if (!word("MESSAGE") || !word("depth") || i >= w.size()) return false;
    const size_t dash = w[i].find('-');
    if (dash == std::string::npos || !is_number(w[i].substr(0, dash)) ||
        !is_number(w[i].substr(dash + 1)))
        return false;
    ++i;
    if (!word("value")) return false;
    if (i < w.size() && (w[i] == "win" || w[i] == "loss")) {
        ++i;
        if (!word("in") || !number()) return false;
    } else if (!number(true)) {
        return false;
    }
    if (!word("nodes") || !number() || !word("time") || !number(true) || !word("speed") ||
        !number() || !word("pv"))
        return false;
    size_t moves = 0;
    for (; i < w.size() && w[i][0] != '('; ++i, ++moves) {
        const size_t comma = w[i].find(',');
        if (comma == std::string::npos || !is_number(w[i].substr(0, comma)) ||
            !is_number(w[i].substr(comma + 1)))
            return false;
    }
    return moves > 0 && (i == w.size() || line.back() == ')');
}

Answer answer(EngineProcess& e, bool details = false) {
    Answer a;
    std::vector<std::string> lines = e.reply();
    EXPECT_GE(lines.size(), 3u);
    if (lines.size() < 3) return a;
    a.move = lines.back();
    EXPECT_TRUE(EngineProcess::is_move(a.move)) << a.move;
    size_t i = 0;
    if (details)
        while (i + 1 < lines.size() && lines[i + 1].rfind("MESSAGE depth ", 0) == 0)
            ++i, ++a.detail_lines;
    a.report = lines[i];
    EXPECT_TRUE(is_report(a.report)) << a.report;
    const size_t pv = a.report.find(" pv ");
    EXPECT_EQ(a.report.compare(pv + 4, a.move.size(), a.move), 0) << a.report;
    const int x = std::stoi(a.move), y = std::stoi(a.move.substr(a.move.find(',') + 1));
    EXPECT_EQ(lines[i + 1], std::string("MESSAGE computer: #") + char('A' + x) + char('A' + y));
    return a;
}

// The referee's line before the last echo of `said`, "" when there is none.
std::string last_verdict(const std::string& said) {
    const size_t end = said.rfind('\n', said.size() - 2);
    if (end == std::string::npos) return "";
    const size_t start = said.rfind('\n', end - 1);
    const std::string line = said.substr(start == std::string::npos ? 0 : start + 1, end - start);
    return line.rfind("MESSAGE ", 0) == 0 ? line : "";
}

int report_depth(const std::string& report) { return std::stoi(report.substr(14)); }

long long report_nodes(const std::string& report) {
    return std::stoll(report.substr(report.find(" nodes ") + 7));
}

long long report_time(const std::string& report) {
    return std::stoll(report.substr(report.find(" time ") + 6));
}

// A quiet middle game with black to move: no fours, no threes, and no win
// by threes for either side (two moves more, {7, 10} and {10, 6}, and black
// has one, which a think finds or not depending on the time it gets).
const Moves QUIET = {{7, 7}, {8, 8}, {6, 8}, {8, 6}, {9, 7}, {5, 9}};

} // namespace

TEST(Tournament, NameReportAndLimits) {
    EngineProcess e(KQ2_ENGINE_PATH);
    e.send("ABOUT");
    EXPECT_TRUE(e.expect_text(KQ2_ABOUT));
    new_game(e, {});
    e.send("INFO timeout_turn 400");
    e.send("BEGIN");
    EXPECT_EQ(answer(e).move, "7,7");
    e.send("TURN 8,8");
    answer(e);

    // Limits and keys a manager may send: no reply of their own.
    for (const char* line : {"INFO thread_num 2", "INFO timeout_match 100000", "INFO game_type 1",
                             "INFO max_depth 3", "INFO max_node 0"}) {
        e.send(line);
    }
    new_game(e, QUIET);
    e.send("BEGIN");
    EXPECT_LE(report_depth(answer(e).report), 3);

    e.send("INFO max_depth 0");
    e.send("INFO max_node 20000");
    e.send("TURN 14,0");
    EXPECT_LE(report_nodes(answer(e).report), 40000);

    // One line per finished iteration, then the usual answer.
    e.send("INFO max_node 0");
    e.send("INFO show_detail 1");
    new_game(e, QUIET);
    e.send("BEGIN");
    EXPECT_GE(answer(e, true).detail_lines, 2);
    expect_exit(e, "MESSAGE #\n");
}

// The referee follows the rule: an overline by black is a foul under renju,
// a five under free play and nothing under exactly-five; a six by white wins
// except under exactly-five. The rule holds across games until the next one.
TEST(Tournament, RulesDecideFivesAndFouls) {
    const Moves black_six = game_of({{0, 0}, {1, 0}, {2, 0}, {4, 0}, {5, 0}, {3, 0}},
                                    {{0, 14}, {2, 14}, {4, 14}, {6, 14}, {8, 14}});
    const Moves white_six = game_of({{0, 14}, {2, 14}, {4, 14}, {6, 14}, {8, 14}, {10, 10}},
                                    {{0, 0}, {1, 0}, {2, 0}, {4, 0}, {5, 0}, {3, 0}});
    const Moves black_five = game_of({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}},
                                     {{0, 14}, {2, 14}, {4, 14}, {6, 14}});
    const std::string FIVE = "MESSAGE Five in a row.\n";
    const std::string FOUL = "MESSAGE Forbidden move.\n";
    struct Case {
        const char* rule;
        std::string black_six, white_six;
    };
    const Case cases[] = {
        {nullptr, FOUL, FIVE},      {"INFO rule 0", FIVE, FIVE}, {"INFO rule 1", "", ""},
        {"INFO rule 4", FOUL, FIVE}, {"INFO rule 5", FOUL, FIVE},
    };
    EngineProcess e(KQ2_ENGINE_PATH);
    for (const Case& c : cases) {
        const std::string rule = c.rule ? c.rule : "no rule";
        if (c.rule) e.send(c.rule);
        EXPECT_EQ(last_verdict(new_game(e, black_six)), c.black_six) << rule;
        EXPECT_EQ(last_verdict(new_game(e, white_six)), c.white_six) << rule;
        EXPECT_EQ(last_verdict(new_game(e, black_five)), FIVE) << rule;
    }
    expect_exit(e, "MESSAGE #\n");
}

TEST(Tournament, UnsupportedRulesAreNamed) {
    EngineProcess e(KQ2_ENGINE_PATH);
    const std::pair<const char*, const char*> cases[] = {
        {"INFO rule 2", "MESSAGE rule 2 is not supported; playing five or more (rule 0)\n"},
        {"INFO rule 3", "MESSAGE rule 3 is not supported; playing exactly five (rule 1)\n"},
        {"INFO rule 8", "MESSAGE rule 8 is not supported; playing five or more (rule 0)\n"},
        {"INFO rule 12", "MESSAGE rule 12 is not supported; playing renju (rule 4)\n"},
        {"INFO rule -1", "MESSAGE rule -1 is not supported; playing renju (rule 4)\n"},
        {"INFO rule 1", ""},
        {"INFO rule renju", "MESSAGE rule renju is not a number; the rule is unchanged\n"},
    };
    for (const auto& c : cases) {
        e.send(c.first);
        EXPECT_TRUE(e.expect_text(c.second)) << c.first << ": " << e.read_until("\n", 500);
    }
    // Still exactly five, as before the word: black's double three is no foul.
    std::string said = new_game(e, game_of({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {7, 7}},
                                           {{0, 0}, {14, 0}, {0, 14}, {14, 14}}));
    EXPECT_EQ(said.find("MESSAGE"), std::string::npos) << said;
    e.send("INFO rule 12");
    EXPECT_TRUE(e.expect_text("MESSAGE rule 12 is not supported; playing renju (rule 4)\n"));
    // Now renju: black's double three is a foul.
    said = new_game(e, game_of({{5, 7}, {6, 7}, {7, 5}, {7, 6}, {7, 7}},
                               {{0, 0}, {14, 0}, {0, 14}, {14, 14}}));
    EXPECT_NE(said.find("MESSAGE Forbidden move.\n7,7\n"), std::string::npos) << said;
    expect_exit(e, "MESSAGE #\n");
}

// Black's forbidden points as xxyy, row by row; none with white to move or
// under the other rules; the game is left as it was.
TEST(Tournament, ShowForbid) {
    const Moves corners = {{0, 0}, {14, 0}, {0, 14}, {14, 14}, {0, 7}};
    const Moves double_three =
        game_of({{5, 7}, {6, 7}, {7, 5}, {7, 6}}, Moves(corners.begin(), corners.begin() + 4));
    const Moves double_four =
        game_of({{4, 7}, {5, 7}, {6, 7}, {7, 4}, {7, 5}, {7, 6}},
                {{3, 7}, {7, 3}, {0, 0}, {14, 0}, {0, 14}, {14, 14}});
    const Moves overline = game_of({{3, 7}, {4, 7}, {5, 7}, {7, 7}, {8, 7}}, corners);
    // The row three's only open-four point (8,7) is a double four, so (7,7)
    // makes one real three and is allowed; (8,7) itself is forbidden, and so
    // are (8,5) and (6,6) (two real threes each) and (7,8) (a four with two
    // real threes).
    const Moves false_three = game_of(
        {{5, 7}, {6, 7}, {7, 5}, {7, 6}, {8, 9}, {8, 10}, {8, 11}, {9, 6}, {10, 5}, {11, 4}},
        {{3, 7}, {0, 0}, {14, 0}, {0, 14}, {14, 14}, {0, 2}, {14, 2}, {0, 12}, {14, 12}, {2, 0}});

    EngineProcess e(KQ2_ENGINE_PATH);
    e.send("YXSHOWFORBID");
    EXPECT_TRUE(e.expect_text("FORBID .\n"));
    const std::pair<Moves, std::string> cases[] = {
        {double_three, "FORBID 0707.\n"},
        {double_four, "FORBID 0707.\n"},
        {overline, "FORBID 0607.\n"},
        {false_three, "FORBID 0805060608070708.\n"},
    };
    for (const auto& c : cases) {
        new_game(e, c.first);
        e.send("YXSHOWFORBID");
        EXPECT_TRUE(e.expect_text(c.second)) << e.read_until("\n", 500);
        e.send("YXSHOWFORBID");
        EXPECT_TRUE(e.expect_text(c.second));
    }
    // White to move: nothing.
    Moves white_to_move = double_three;
    white_to_move.push_back({10, 12});
    new_game(e, white_to_move);
    e.send("YXSHOWFORBID");
    EXPECT_TRUE(e.expect_text("FORBID .\n"));
    // Free play and exactly-five: nothing is forbidden, and the moves are no fouls.
    for (const char* rule : {"INFO rule 0", "INFO rule 1"}) {
        e.send(rule);
        new_game(e, double_four);
        e.send("YXSHOWFORBID");
        EXPECT_TRUE(e.expect_text("FORBID .\n")) << rule;
        e.send("PLAY 7,7");
        EXPECT_TRUE(e.expect_text("7,7\n")) << rule;
    }
    expect_exit(e, "MESSAGE #\n");
}

// STOP (and YXSTOP, its name in some runners) answers a long think at once
// with the best move so far; END during a think ends the program without
// waiting for the think. The bounds here are
// generous (the think would otherwise run for a minute): what counts is that
// the think is cut short.
TEST(Tournament, StopAndEndCutALongThink) {
    using clock = std::chrono::steady_clock;
    // A think of up to a minute, well under way, in an opening with no
    // forced win for either side (found at once, it would stop on its own).
    auto long_think = [](EngineProcess& e) {
        new_game(e, Moves(QUIET.begin(), QUIET.begin() + 4));
        e.send("INFO timeout_turn 60000");
        e.send("BEGIN");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    for (const std::string stop : {"STOP", "YXSTOP"}) {
        EngineProcess e(KQ2_ENGINE_PATH);
        long_think(e);
        const auto t0 = clock::now();
        e.send(stop);
        // The think was still running when STOP came, and STOP ended it.
        const long long think_ms = report_time(answer(e).report);
        EXPECT_GE(think_ms, 100) << stop;
        EXPECT_LT(think_ms, 30000) << stop;
        EXPECT_LT(clock::now() - t0, std::chrono::seconds(5)) << stop;
        // A STOP while idle changes nothing; the next think runs normally.
        e.send(stop);
        e.send("INFO timeout_turn 300");
        e.send("TURN 14,0");
        answer(e);
        expect_exit(e, "MESSAGE #\n");
    }
    {
        EngineProcess e(KQ2_ENGINE_PATH);
        long_think(e);
        const auto t0 = clock::now();
        e.send("END");
        int status = -1;
        const std::string rest = e.finish(status);
        EXPECT_LT(clock::now() - t0, std::chrono::seconds(5));
        EXPECT_EQ(status, 0);
        EXPECT_NE(rest.find("MESSAGE computer: #"), std::string::npos) << rest;
        EXPECT_EQ(rest.substr(rest.size() - 10), "MESSAGE #\n");
    }
}

// A think to a fixed depth finds the tables filled by the same think before
// and does less; after YXHASHCLEAR it does exactly the work of the first.
TEST(Tournament, HashClearEmptiesTheTables) {
    EngineProcess e(KQ2_ENGINE_PATH);
    e.send("INFO max_depth 4");
    e.send("INFO timeout_turn 100000");
    auto nodes = [&e] {
        new_game(e, QUIET);
        e.send("BEGIN");
        return report_nodes(answer(e).report);
    };
    const long long first = nodes();
    EXPECT_LT(nodes(), first);
    e.send("YXHASHCLEAR");
    EXPECT_EQ(nodes(), first);
    expect_exit(e, "MESSAGE #\n");
}

// The memory limit holds for the whole process: its peak resident size after
// a few thinks stays below INFO max_memory.
TEST(Tournament, PeakMemoryStaysUnderTheLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory is part of the resident size";
#endif
    constexpr long long LIMIT = 64ll << 20;
    EngineProcess e(KQ2_ENGINE_PATH);
    new_game(e, {});
    e.send("INFO max_memory " + std::to_string(LIMIT));
    e.send("INFO timeout_turn 500");
    e.send("BEGIN");
    answer(e);
    for (const char* turn : {"TURN 8,8", "TURN 6,8", "TURN 9,9"}) {
        e.send(turn);
        answer(e);
    }
    std::ifstream status("/proc/" + std::to_string(e.pid()) + "/status");
    long long peak_kb = -1;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) peak_kb = std::stoll(line.substr(6));
    ASSERT_GT(peak_kb, 0);
    EXPECT_LE(peak_kb * 1024, LIMIT);
    expect_exit(e, "MESSAGE #\n");
}

// The exact engine keeps answering what it does not know as before.
TEST(Tournament, ExactEngineUnchanged) {
    EngineProcess e;
    run(e, {{"START 15", OK},
            {"STOP", UNKNOWN},
            {"YXSHOWFORBID", UNKNOWN},
            {"YXSTOP", UNKNOWN},
            {"YXHASHCLEAR", UNKNOWN},
            {"INFO rule 1", ""},
            {"INFO max_memory 1000", ""},
            {"INFO show_detail 1", ""},
            {"ABOUT", ABOUT}});
    expect_exit(e, "MESSAGE #\n");
}
