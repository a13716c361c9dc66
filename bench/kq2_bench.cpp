// Deterministic benchmark of the tournament engine. Clears its tables, then
// thinks on the fixed positions with an unlimited clock and a fixed search
// depth. Prints per position the move, the value and the nodes, then the
// totals: the node total is a signature that changes only when the engine's
// behaviour changes.
//
//   kq2-bench [depth]     (default 6)
//   kq2-bench --think MS "HH HI ..." [detail]   one think on a position (spaces
//                                       between moves optional), with its report
//                                       (and one line per iteration)
//   kq2-bench --depth D "HH HI ..." [detail]   the same to a fixed depth, no clock
//   kq2-bench --threats "HH HI ..." [NODES]   wins by fours and by threes of both
//                                       sides (by threes: by rising depth, and by proof
//                                       numbers, each within NODES, default 2 M)
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/board/board.h"
#include "core/solver/solver.h"
#include "core/timing.h"
#include "kq/kq.h"
#include "kq2/kq2.h"

#include "bench_positions.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A move list from the command line, spaces between moves allowed.
bool parse_spaced(const char* text, GameRecord& record) {
    char packed[512];
    int n = 0;
    for (const char* p = text; *p && n < 510; ++p)
        if (*p != ' ') packed[n++] = *p;
    packed[n] = '\0';
    if (parse(packed, record)) return true;
    std::printf("bad position %s\n", text);
    return false;
}

// One think on a position of the command line, as a game would see it (or
// to a fixed depth with no clock, when depth > 0).
int think_once(int ms, const char* text, bool detail, int depth = 0) {
    GameRecord record{};
    if (!parse_spaced(text, record)) return 1;
    kq2::settings.max_depth = depth;
    think_start = clock_ms();
    think_budget = ms;
    kq2::settings.show_detail = detail;
    kq2::iteration_hook = [] {
        char text_line[1200];
        kq2::format_report(text_line, sizeof text_line);
        std::printf("  %s\n", text_line);
    };
    const Square m = kq2::think(record);
    char line[1200];
    kq2::format_report(line, sizeof line);
    std::printf("move %c%c (%d,%d)  %s  [search from %d ms, %d root moves, %lld search nodes]\n",
                'A' + (m & 15), 'A' + (m >> 4), m & 15, m >> 4, line, kq2::report.search_ms,
                kq2::report.root_moves, static_cast<long long>(kq2::search_nodes));
    return 0;
}

// Wins by fours and by threes of each side, as if it were to move.
int show_threats(const char* text, int64_t budget) {
    // The tables are used as far as they are touched: all of them here.
    kq2::touch_tables(clock_ms() + 600000);
    const kq2::SolverScope scope;
    GameRecord record{};
    if (!parse_spaced(text, record) || !load_position(record)) return 1;
    think_start = clock_ms();
    think_budget = INT32_MAX;
    for (uint8_t side : {BLACK, WHITE}) {
        Square m = NO_MOVE;
        const bool fours =
            kq2::five_point(uint8_t(1 - side)) == NO_MOVE && kq2::vcf(side, 20000, &m);
        std::printf("%s: fours %s", side == BLACK ? "black" : "white", fours ? "win" : "none");
        if (fours) std::printf(" %c%c", 'A' + (m & 15), 'A' + (m >> 4));
        kq2::threat_nodes = 0;
        for (int depth = 1; depth <= 14 && kq2::threat_nodes < budget; ++depth) {
            const int r = kq2::vct(side, depth, budget - kq2::threat_nodes, &m);
            if (r != 0) {
                std::printf(", threes %s at depth %d: %c%c (%lld nodes)", r > 0 ? "win" : "aborted",
                            depth, 'A' + (m & 15), 'A' + (m >> 4),
                            static_cast<long long>(kq2::threat_nodes));
                break;
            }
        }
        kq2::threat_nodes = 0;
        const int r = kq2::vct_proof(side, budget, &m);
        std::printf(", proof search %s", r > 0 ? "win" : r < 0 ? "aborted" : "none");
        if (r > 0) std::printf(" %c%c", 'A' + (m & 15), 'A' + (m >> 4));
        std::printf(" (%lld nodes)\n", static_cast<long long>(kq2::threat_nodes));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    engine_init();
    if (!engine_initialised || !kq2::setup_tables()) {
        std::printf("engine set-up failed\n");
        return 1;
    }
    if (argc > 3 && std::strcmp(argv[1], "--think") == 0)
        return think_once(std::atoi(argv[2]), argv[3],
                          argc > 4 && std::strcmp(argv[4], "detail") == 0);
    if (argc > 3 && std::strcmp(argv[1], "--depth") == 0)
        return think_once(INT32_MAX, argv[3], argc > 4 && std::strcmp(argv[4], "detail") == 0,
                          std::atoi(argv[2]));
    if (argc > 2 && std::strcmp(argv[1], "--threats") == 0) {
        const long long nodes = argc > 3 ? std::atoll(argv[3]) : 0; // 0: the default
        return show_threats(argv[2], nodes > 0 ? nodes : 2000000);
    }
    const int depth = argc > 1 ? std::atoi(argv[1]) : 6;
    // Depth 0 would mean no limit at all, with no clock: an unknown option
    // gets the usage instead of a think that never ends.
    if (depth <= 0) {
        std::printf("usage: kq2-bench [depth] | --think MS \"MOVES\" [detail] | "
                    "--depth D \"MOVES\" [detail] | --threats \"MOVES\" [NODES]\n");
        return 2;
    }
    kq2::clear_search_table();
    kq2::clear_threat_table();
    std::memset(solver_table, 0, sizeof(SolverEntry) * 2 * (kq2::solver_mask_in_use + 1));
    kq2::settings.max_depth = depth;

    uint64_t total_nodes = 0, total_search = 0;
    uint32_t move_hash = 2166136261u;
    const auto t0 = std::chrono::steady_clock::now();
    int index = 0;
    for (const char* text : positions) {
        GameRecord record{};
        if (!parse(text, record)) {
            std::printf("bad position %s\n", text);
            return 1;
        }
        think_start = clock_ms();
        think_budget = INT32_MAX;
        const auto p0 = std::chrono::steady_clock::now();
        const Square m = kq2::think(record);
        const double secs = seconds_since(p0);
        char line[1200];
        kq2::format_report(line, sizeof line);
        std::printf("%2d move %c%c  nodes %9lld  %7.3f s  %s\n", ++index, 'A' + (m & 15),
                    'A' + (m >> 4), static_cast<long long>(kq2::report.nodes), secs, line);
        total_nodes += uint64_t(kq2::report.nodes);
        total_search += uint64_t(kq2::search_nodes);
        move_hash = (move_hash ^ m) * 16777619u;
    }
    const double secs = seconds_since(t0);
    std::printf("search nodes %llu, threat nodes %llu\n", (unsigned long long)total_search,
                (unsigned long long)(total_nodes - total_search));
    std::printf("bench: %llu  moves %08x\n", (unsigned long long)total_nodes, move_hash);
    std::printf("time %.3f s: %.0f nodes/s\n", secs, double(total_nodes) / secs);
    return 0;
}
