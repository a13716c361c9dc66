// A match between two engine binaries through the protocol, refereed by the
// engine's own board code under the chosen rule.
//
//   kq-match ENGINE_A ENGINE_B [options]
//
//   --openings FILE   openings, one a line: moves like "h8 h9 f6" (column
//                     letter a = x 0, row number 1 = y 0, so h8 is 7,7);
//                     '#' starts a comment. Default: the centre stone only.
//   --games N         games to play (default: every opening twice). Game k
//                     plays opening k/2, ENGINE_A black in even games and
//                     ENGINE_B black in odd ones; the openings repeat when N
//                     asks for more.
//   --turn MS         timeout_turn (default 1000)
//   --match MS        timeout_match; each engine's clock starts at MS and
//                     loses every reply's time; time_left goes out before
//                     every move request (default: no match clock)
//   --tolerance MS    how much later than the turn limit (or the clock) a
//                     reply may come before it loses on time (default 0)
//   --rule N          0 free, 1 exact five, 4 renju (default 4)
//   --memory BYTES    sends INFO max_memory
//   --info "KEY VALUE"  one more INFO line for both engines; may repeat
//   --log FILE        appends one line a game: the moves as two letters
//                     ('A' + x, 'A' + y: "HH HI ..."), " # ", the result
//   --messages FILE   appends every MESSAGE/DEBUG/ERROR line the engines
//                     wrote, by game and move
//
// Each game starts both engines afresh: START 15, the INFO lines
// (timeout_turn, timeout_match and time_left, max_memory, rule, the extra
// ones), then the engine to move first after the opening gets the position as
// BOARD (1 its own stones, 2 the opponent's) and DONE; the other engine gets
// the same on its first move, and after that each engine hears TURN x,y.
// Lines starting with MESSAGE, DEBUG, ERROR or UNKNOWN are not replies; the
// first other line is. A depth ("depth 12") in a MESSAGE line is noted.
//
// A game is lost by the engine that crashes (its output ends), gives no reply
// within the turn limit (or its clock, if smaller) plus 5 s ("timeout"),
// replies after the turn limit or runs its clock below zero ("late", "clock";
// with the tolerance), names no empty on-board square ("illegal") or, as black
// under renju, plays a forbidden move that is not a five ("foul", even when
// it blocks a five). The first five (exactly five where the rule says so)
// wins, a full board is a draw.
//
// The per-move budget in the summary is the engine's own: the turn limit less
// 100 ms, at most a twentieth of the time left sent with the request.
//
// Exit status: 0, or 1 when any game ended by an illegal reply, a crash or a
// time loss; 2 for bad arguments. Games run one at a time, so an engine never
// shares the processor with the other's think.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/board/board.h"
#include "kq/kq.h"

#include "engine_pipe.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    const char* engine[2] = {nullptr, nullptr};
    std::string openings_file, log_file, messages_file;
    long long turn = 1000, match = 0, tolerance = 0, memory = -1, games = -1;
    int rule = RULE_RENJU;
    std::vector<std::string> infos;
};

struct Opening {
    std::string text; // as written, e.g. "h8 h9 f6"
    std::vector<Square> moves;
};

// Why a game ended.
enum Reason { FIVE, FULL, FOUL, ILLEGAL, CRASH, TIMEOUT, LATE, CLOCK };
const char* const reason_name[] = {"five",  "full",    "foul", "illegal",
                                   "crash", "timeout", "late", "clock"};
bool is_time_loss(Reason r) { return r == TIMEOUT || r == LATE || r == CLOCK; }

struct Outcome {
    int winner = -1; // engine 0 (A) or 1 (B); -1 for a draw
    Reason reason = FULL;
    std::string detail; // for the game line, e.g. "g7" or "reply \"x\""
};

struct EngineStats {
    std::vector<double> reply_ms, budget_share, depth;
    int illegal = 0, fouls = 0, time_losses = 0, crashes = 0;
};

double elapsed_ms(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string square_name(Square s) { // "h8"
    return std::string(1, char('a' + (s & 15))) + std::to_string((s >> 4) + 1);
}

std::string protocol_name(Square s) {
    return std::to_string(s & 15) + "," + std::to_string(s >> 4);
}

const char* rule_name(int rule) {
    return rule == RULE_FREE ? "free" : rule == RULE_EXACT ? "exact" : "renju";
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool starts_with_word(const std::string& line, const char* word) {
    const size_t n = std::strlen(word);
    return line.compare(0, n, word) == 0 && (line.size() == n || line[n] == ' ');
}

bool is_chatter(const std::string& line) {
    return starts_with_word(line, "MESSAGE") || starts_with_word(line, "DEBUG") ||
           starts_with_word(line, "ERROR") || starts_with_word(line, "UNKNOWN");
}

// The number after the word "depth" in a line, or NaN.
double depth_in(const std::string& line) {
    for (size_t at = line.find("depth"); at != std::string::npos; at = line.find("depth", at + 1)) {
        const bool word_start = at == 0 || !std::isalnum(static_cast<unsigned char>(line[at - 1]));
        size_t p = at + 5;
        if (!word_start || (p < line.size() && std::isalnum(static_cast<unsigned char>(line[p]))))
            continue;
        while (p < line.size() && (line[p] == ' ' || line[p] == '=' || line[p] == ':')) ++p;
        const char* begin = line.c_str() + p;
        char* end = nullptr;
        const double v = std::strtod(begin, &end);
        if (end != begin) return v;
    }
    return NAN;
}

// "x,y" with both in 0..14; NO_MOVE for anything else, and `off_board` set
// when the text had the form but named a square off the board.
Square parse_reply(const std::string& text, bool& off_board) {
    off_board = false;
    long x = -1, y = -1;
    int used = 0;
    if (std::sscanf(text.c_str(), "%ld,%ld%n", &x, &y, &used) != 2 || size_t(used) != text.size())
        return NO_MOVE;
    if (x < 0 || x >= BOARD_SIZE || y < 0 || y >= BOARD_SIZE) {
        off_board = true;
        return NO_MOVE;
    }
    return Square(y * 16 + x);
}

// What an engine wrote up to its answer line.
struct Reply {
    enum Kind { LINE, END_OF_OUTPUT, NO_REPLY } kind = NO_REPLY;
    std::string text;                 // the answer line, trimmed
    std::vector<std::string> chatter; // MESSAGE and the like before it
    double ms = 0;                    // from t0 to the answer
};

Reply await_reply(EnginePipe& e, Clock::time_point t0, long long limit_ms) {
    Reply r;
    for (;;) {
        const double spent = elapsed_ms(t0);
        if (spent > double(limit_ms)) break;
        const std::string raw = e.line(int(std::ceil(double(limit_ms) - spent)));
        if (raw == "<timeout>") break;
        if (raw == "<eof>") {
            r.kind = Reply::END_OF_OUTPUT;
            break;
        }
        const std::string l = trim(raw);
        if (l.empty()) continue;
        if (is_chatter(l)) {
            r.chatter.push_back(l);
            continue;
        }
        r.kind = Reply::LINE;
        r.text = l;
        break;
    }
    r.ms = elapsed_ms(t0);
    return r;
}

// The engine's ABOUT line, for the header ("" when it gives none).
std::string about(const char* path) {
    EnginePipe e(path);
    e.send("ABOUT\n");
    const Reply r = await_reply(e, Clock::now(), 5000);
    e.send("END\n");
    return r.kind == Reply::LINE ? r.text : "";
}

bool parse_number(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

// A move like "h8" or "H8"; NO_MOVE if it is not one.
Square parse_opening_move(const std::string& token) {
    if (token.size() < 2 || token.size() > 3) return NO_MOVE;
    const int x = std::tolower(static_cast<unsigned char>(token[0])) - 'a';
    long long row = 0;
    if (x < 0 || x >= BOARD_SIZE || !parse_number(token.c_str() + 1, row) || row < 1 ||
        row > BOARD_SIZE)
        return NO_MOVE;
    return Square((row - 1) * 16 + x);
}

bool load_openings(const std::string& file, std::vector<Opening>& out) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "kq-match: cannot read %s\n", file.c_str());
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        Opening o;
        bool seen[256] = {};
        size_t p = 0;
        while (p < line.size()) {
            while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p]))) ++p;
            size_t q = p;
            while (q < line.size() && !std::isspace(static_cast<unsigned char>(line[q]))) ++q;
            if (q == p) break;
            const std::string token = line.substr(p, q - p);
            const Square s = parse_opening_move(token);
            if (s == NO_MOVE || seen[s]) {
                std::fprintf(stderr, "kq-match: %s:%d: bad or repeated move '%s'\n", file.c_str(),
                             number, token.c_str());
                return false;
            }
            seen[s] = true;
            o.moves.push_back(s);
            o.text += (o.text.empty() ? "" : " ") + token;
            p = q;
        }
        if (o.moves.empty()) continue;
        if (o.moves.size() >= size_t(MAX_MOVES)) {
            std::fprintf(stderr, "kq-match: %s:%d: opening fills the board\n", file.c_str(),
                         number);
            return false;
        }
        out.push_back(o);
    }
    if (out.empty()) {
        std::fprintf(stderr, "kq-match: no openings in %s\n", file.c_str());
        return false;
    }
    return true;
}

// Starts an engine and sets up its game; false, with the reason in `why`,
// when it does not answer START with OK.
bool start_engine(EnginePipe& e, const Options& opt, std::string& why) {
    e.send("START 15\n");
    const Reply r = await_reply(e, Clock::now(), opt.turn + 5000);
    if (r.kind != Reply::LINE || r.text != "OK") {
        why = r.kind == Reply::END_OF_OUTPUT ? "ended at START"
              : r.kind == Reply::NO_REPLY    ? "no OK to START"
                                             : "START answered \"" + r.text + "\"";
        return false;
    }
    std::string setup = "INFO timeout_turn " + std::to_string(opt.turn) + "\n";
    if (opt.match > 0)
        setup += "INFO timeout_match " + std::to_string(opt.match) + "\nINFO time_left " +
                 std::to_string(opt.match) + "\n";
    if (opt.memory >= 0) setup += "INFO max_memory " + std::to_string(opt.memory) + "\n";
    setup += "INFO rule " + std::to_string(opt.rule) + "\n";
    for (const std::string& info : opt.infos) setup += "INFO " + info + "\n";
    e.send(setup);
    return true;
}

struct Game {
    GameRecord record{};
    Outcome outcome;
    std::vector<std::string> transcript; // chatter lines, "move N X: line"
};

// Plays one game; engine 0 is A. `a_black` gives A the black stones.
Game play_game(const Options& opt, const Opening& opening, bool a_black, EngineStats stats[2]) {
    Game g;
    for (const Square s : opening.moves) g.record.moves[g.record.count++] = s;
    std::unique_ptr<EnginePipe> pipes[2];
    for (int who = 0; who < 2; ++who) {
        pipes[who] = std::make_unique<EnginePipe>(opt.engine[who]);
        std::string why;
        if (!start_engine(*pipes[who], opt, why)) {
            stats[who].crashes++;
            g.outcome = {1 - who, CRASH, why};
            return g;
        }
    }
    bool told[2] = {false, false};
    long long clock_left[2] = {opt.match, opt.match};
    for (;;) {
        if (g.record.count == MAX_MOVES) {
            g.outcome = {-1, FULL, "board full"};
            break;
        }
        const uint8_t colour = (g.record.count & 1) ? WHITE : BLACK;
        const int who = (colour == BLACK) == a_black ? 0 : 1;
        EnginePipe& e = *pipes[who];
        EngineStats& st = stats[who];

        std::string request;
        long long budget = opt.turn - 100, wait = opt.turn;
        if (opt.match > 0) {
            const long long sent = std::max(0LL, clock_left[who]);
            request += "INFO time_left " + std::to_string(sent) + "\n";
            if (sent >= 1) budget = std::min(budget, sent / 20);
            wait = std::min(wait, sent);
        }
        if (!told[who]) {
            request += "BOARD\n";
            for (int i = 0; i < g.record.count; ++i) {
                const uint8_t mover = (i & 1) ? WHITE : BLACK;
                request += protocol_name(g.record.moves[i]) + (mover == colour ? ",1\n" : ",2\n");
            }
            request += "DONE\n";
            told[who] = true;
        } else {
            request += "TURN " + protocol_name(g.record.moves[g.record.count - 1]) + "\n";
        }
        const Clock::time_point t0 = Clock::now();
        e.send(request);
        const Reply r = await_reply(e, t0, wait + 5000);

        const std::string tag =
            "move " + std::to_string(g.record.count + 1) + " " + "AB"[who] + ": ";
        double depth = NAN;
        for (const std::string& l : r.chatter) {
            g.transcript.push_back(tag + l);
            if (starts_with_word(l, "MESSAGE") && !std::isnan(depth_in(l))) depth = depth_in(l);
        }
        if (r.kind == Reply::END_OF_OUTPUT) {
            st.crashes++;
            g.outcome = {1 - who, CRASH, "output ended"};
            break;
        }
        if (r.kind == Reply::NO_REPLY) {
            st.time_losses++;
            g.outcome = {1 - who, TIMEOUT, "no reply in " + std::to_string(wait + 5000) + " ms"};
            break;
        }
        st.reply_ms.push_back(r.ms);
        if (budget > 0) st.budget_share.push_back(r.ms / double(budget));
        if (!std::isnan(depth)) st.depth.push_back(depth);

        bool off_board = false;
        const Square m = parse_reply(r.text, off_board);
        load_position(g.record);
        if (m == NO_MOVE || cells[m] != EMPTY) {
            st.illegal++;
            g.outcome = {1 - who, ILLEGAL,
                         "\"" + r.text + "\" " +
                             (m != NO_MOVE ? "occupied"
                              : off_board  ? "off the board"
                                           : "unreadable")};
            break;
        }
        const bool five = square_class[colour][m] == CLASS_FIVE;
        const bool foul = !five && restricted(colour) && is_forbidden(m);
        g.record.moves[g.record.count++] = m;
        char ms_text[64];
        if (r.ms > double(opt.turn + opt.tolerance)) {
            st.time_losses++;
            std::snprintf(ms_text, sizeof ms_text, "%.0f ms > %lld", r.ms, opt.turn);
            g.outcome = {1 - who, LATE, ms_text};
            break;
        }
        if (opt.match > 0) {
            clock_left[who] -= static_cast<long long>(std::llround(r.ms));
            if (clock_left[who] < -opt.tolerance) {
                st.time_losses++;
                g.outcome = {1 - who, CLOCK, std::to_string(clock_left[who]) + " ms left"};
                break;
            }
        }
        if (five) {
            g.outcome = {who, FIVE, square_name(m)};
            break;
        }
        if (foul) {
            st.fouls++;
            g.outcome = {1 - who, FOUL, square_name(m)};
            break;
        }
    }
    for (auto& p : pipes)
        if (p) p->send("END\n");
    return g;
}

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nearest-rank percentile, q in (0, 1].
double percentile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    size_t rank = size_t(std::ceil(q * double(v.size())));
    return v[std::min(v.size(), std::max<size_t>(rank, 1)) - 1];
}

double elo(double score) { return 0.0 - 400.0 * std::log10(1.0 / score - 1.0); }

std::string number_or_dash(double v, const char* format) {
    if (std::isnan(v)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

int usage() {
    std::fprintf(stderr,
                 "usage: kq-match ENGINE_A ENGINE_B [--openings FILE] [--turn MS] [--match MS]\n"
                 "                [--rule 0|1|4] [--memory BYTES] [--games N] [--log FILE]\n"
                 "                [--messages FILE] [--tolerance MS] [--info \"KEY VALUE\"]...\n");
    return 2;
}

bool parse_options(int argc, char** argv, Options& opt) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.compare(0, 2, "--") != 0) {
            if (positional == 2) return false;
            opt.engine[positional++] = argv[i];
            continue;
        }
        if (i + 1 == argc) return false;
        const char* value = argv[++i];
        long long n = 0;
        const bool numeric = parse_number(value, n);
        if (a == "--openings") {
            opt.openings_file = value;
        } else if (a == "--log") {
            opt.log_file = value;
        } else if (a == "--messages") {
            opt.messages_file = value;
        } else if (a == "--info") {
            const std::string info = trim(value);
            if (info.empty() || info.find('\n') != std::string::npos) return false;
            opt.infos.push_back(info);
        } else if (a == "--turn" && numeric && n > 0) {
            opt.turn = n;
        } else if (a == "--match" && numeric && n > 0) {
            opt.match = n;
        } else if (a == "--tolerance" && numeric && n >= 0) {
            opt.tolerance = n;
        } else if (a == "--memory" && numeric && n >= 0) {
            opt.memory = n;
        } else if (a == "--games" && numeric && n > 0) {
            opt.games = n;
        } else if (a == "--rule" && numeric &&
                   (n == RULE_FREE || n == RULE_EXACT || n == RULE_RENJU)) {
            opt.rule = int(n);
        } else {
            std::fprintf(stderr, "kq-match: bad option %s %s\n", a.c_str(), value);
            return false;
        }
    }
    return positional == 2;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse_options(argc, argv, opt)) return usage();
    for (const char* path : opt.engine)
        if (access(path, X_OK) != 0) {
            std::fprintf(stderr, "kq-match: %s is not an executable file\n", path);
            return 2;
        }
    std::vector<Opening> openings;
    if (opt.openings_file.empty())
        openings.push_back({"h8", {CENTRE}});
    else if (!load_openings(opt.openings_file, openings))
        return 2;
    const long long games = opt.games > 0 ? opt.games : 2 * (long long)openings.size();

    engine_init();
    if (opt.rule != RULE_RENJU) select_rule(uint8_t(opt.rule));

    FILE* log = nullptr;
    FILE* messages = nullptr;
    if (!opt.log_file.empty() && !(log = std::fopen(opt.log_file.c_str(), "a"))) {
        std::fprintf(stderr, "kq-match: cannot open %s\n", opt.log_file.c_str());
        return 2;
    }
    if (!opt.messages_file.empty() && !(messages = std::fopen(opt.messages_file.c_str(), "a"))) {
        std::fprintf(stderr, "kq-match: cannot open %s\n", opt.messages_file.c_str());
        return 2;
    }

    for (int who = 0; who < 2; ++who) {
        const std::string name = about(opt.engine[who]);
        std::printf("%c  %s  %s\n", "AB"[who], opt.engine[who],
                    name.empty() ? "(no ABOUT reply)" : name.c_str());
    }
    std::printf("rule %s, turn %lld ms, match %s, tolerance %lld ms, %lld games, %zu openings\n\n",
                rule_name(opt.rule), opt.turn,
                opt.match > 0 ? (std::to_string(opt.match) + " ms").c_str() : "none", opt.tolerance,
                games, openings.size());
    std::fflush(stdout);

    EngineStats stats[2];
    int results[2][3] = {}; // [A black?][A win, A loss, draw]
    std::vector<double> scores;
    bool faulty = false;
    for (long long k = 0; k < games; ++k) {
        const Opening& opening = openings[size_t(k / 2) % openings.size()];
        const bool a_black = k % 2 == 0;
        const Game g = play_game(opt, opening, a_black, stats);
        const Outcome& o = g.outcome;
        const int black = a_black ? 0 : 1;
        const double score = o.winner < 0 ? 0.5 : o.winner == 0 ? 1.0 : 0.0;
        scores.push_back(score);
        results[a_black ? 1 : 0][o.winner < 0 ? 2 : o.winner == 0 ? 0 : 1]++;
        if (o.reason == ILLEGAL || o.reason == CRASH || is_time_loss(o.reason)) faulty = true;

        std::string result;
        if (o.winner < 0)
            result = "1/2  draw, " + o.detail;
        else
            result = std::string(o.winner == black ? "1-0" : "0-1") + "  " + "AB"[o.winner] +
                     " wins, " +
                     (o.reason == FIVE ? "five at " + o.detail
                                       : std::string(1, "AB"[1 - o.winner]) + " " +
                                             reason_name[o.reason] + ": " + o.detail);
        std::printf("game %3lld  %-10s  black %c  %3d moves  %s\n", k + 1, opening.text.c_str(),
                    "AB"[black], g.record.count, result.c_str());
        std::fflush(stdout);

        if (log) {
            std::string line;
            for (int i = 0; i < g.record.count; ++i) {
                const Square s = g.record.moves[i];
                line +=
                    (i ? " " : "") + std::string(1, char('A' + (s & 15))) + char('A' + (s >> 4));
            }
            const char* winner_colour = o.winner < 0        ? "draw"
                                        : o.winner == black ? "black wins"
                                                            : "white wins";
            std::fprintf(log, "%s # %s (%s%s%s), rule %s, black %s, white %s\n", line.c_str(),
                         winner_colour, reason_name[o.reason], o.detail.empty() ? "" : " ",
                         o.detail.c_str(), rule_name(opt.rule), opt.engine[black],
                         opt.engine[1 - black]);
            std::fflush(log);
        }
        if (messages) {
            std::fprintf(messages, "game %lld (%s, black %s, white %s)\n", k + 1,
                         opening.text.c_str(), opt.engine[black], opt.engine[1 - black]);
            for (const std::string& l : g.transcript) std::fprintf(messages, "%s\n", l.c_str());
            std::fflush(messages);
        }
    }
    if (log) std::fclose(log);
    if (messages) std::fclose(messages);

    // Summary, seen from A.
    std::printf("\nA against B      games  wins  losses  draws\n");
    const char* const row_name[] = {"A as white", "A as black"};
    for (int b = 1; b >= 0; --b)
        std::printf("%-15s %6d %5d %7d %6d\n", row_name[b],
                    results[b][0] + results[b][1] + results[b][2], results[b][0], results[b][1],
                    results[b][2]);
    const int wins = results[0][0] + results[1][0], losses = results[0][1] + results[1][1],
              draws = results[0][2] + results[1][2];
    std::printf("%-15s %6lld %5d %7d %6d\n", "total", games, wins, losses, draws);

    const double n = double(scores.size());
    double mean = 0, variance = 0;
    for (const double s : scores) mean += s / n;
    for (const double s : scores) variance += (s - mean) * (s - mean) / n;
    const double margin_score = 1.96 * std::sqrt(variance / n);
    const double lo = mean - margin_score, hi = mean + margin_score;
    std::string elo_text = mean <= 0 ? "-inf" : mean >= 1 ? "+inf" : "";
    if (elo_text.empty()) {
        char text[64];
        if (lo > 0 && hi < 1)
            std::snprintf(text, sizeof text, "%+.0f +- %.0f", elo(mean), (elo(hi) - elo(lo)) / 2);
        else
            std::snprintf(text, sizeof text, "%+.0f +- inf", elo(mean));
        elo_text = text;
    }
    std::printf("score A %.1f%%, Elo A - B %s (95%%)\n\n", 100 * mean, elo_text.c_str());

    std::printf("faults   illegal  fouls  time  crashes\n");
    for (int who = 0; who < 2; ++who)
        std::printf("%c        %7d %6d %5d %8d\n", "AB"[who], stats[who].illegal, stats[who].fouls,
                    stats[who].time_losses, stats[who].crashes);
    std::printf("\nreplies  count  median ms  p99 ms  max ms  budget used  depth\n");
    for (int who = 0; who < 2; ++who) {
        const EngineStats& s = stats[who];
        const double max =
            s.reply_ms.empty() ? NAN : *std::max_element(s.reply_ms.begin(), s.reply_ms.end());
        std::printf("%c        %5zu  %9s  %6s  %6s  %11s  %5s\n", "AB"[who], s.reply_ms.size(),
                    number_or_dash(median(s.reply_ms), "%.1f").c_str(),
                    number_or_dash(percentile(s.reply_ms, 0.99), "%.1f").c_str(),
                    number_or_dash(max, "%.1f").c_str(),
                    number_or_dash(100 * median(s.budget_share), "%.0f%%").c_str(),
                    number_or_dash(median(s.depth), "%.1f").c_str());
    }
    return faulty ? 1 : 0;
}
