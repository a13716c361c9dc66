// Console play: a person plays the engine at a prompt on the protocol's own
// streams. A line that is one letter (or a letter, a blank and an argument) is
// a command; two letters are a move, column first. The console shares the
// game record, record_move and the referee with the protocol, but thinks on
// the main thread, so the worker must be idle for as long as it runs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../engine/engine.h"
#include "../protocol/protocol.h"
#include "console.h"

char console_argument[1024];
int32_t mode = 0;

namespace {

// Reader results besides a typed Square (0..238).
constexpr uint8_t CONSOLE_DISPLAY = 240;
constexpr uint8_t CONSOLE_QUIT = 241;
constexpr uint8_t CONSOLE_COMPUTER = 242;
constexpr uint8_t CONSOLE_HELP = 243;
constexpr uint8_t CONSOLE_NEW = 244;
constexpr uint8_t CONSOLE_OPTION = 245;
constexpr uint8_t CONSOLE_SET = 246;
constexpr uint8_t CONSOLE_BACK = 247;
constexpr uint8_t CONSOLE_ANALYSE = 248;
constexpr uint8_t CONSOLE_LEVEL = 249;
constexpr uint8_t CONSOLE_INFO = 250;
constexpr uint8_t CONSOLE_MODE = 252;
constexpr uint8_t CONSOLE_REJECTED = 255;

struct ConsoleCommand {
    char key;
    uint8_t code;
    bool takes_argument;
    const char* usage; // shown only for a command that takes an argument
};

constexpr ConsoleCommand console_commands[] = {
    {'O', CONSOLE_OPTION, true, nullptr},
    {'Q', CONSOLE_QUIT, false, nullptr},
    {'M', CONSOLE_MODE, true, nullptr},
    {'H', CONSOLE_HELP, false, nullptr},
    {'N', CONSOLE_NEW, false, nullptr},
    {'S', CONSOLE_SET, true, nullptr},
    {'B', CONSOLE_BACK, false, nullptr},
    {'D', CONSOLE_DISPLAY, false, nullptr},
    {'T', CONSOLE_ANALYSE, true, "T {pos_string}"},
    {'L', CONSOLE_LEVEL, false, "L {level}"},
    {'I', CONSOLE_INFO, false, nullptr},
};
static_assert(sizeof console_commands / sizeof console_commands[0] == 11, "eleven commands");

constexpr int LINE_SIZE = 1024; // at most 1023 characters of a line are kept

bool is_board_letter(char c) { return c >= 'A' && c <= 'O'; }

Square letters_square(char column, char row) { return Square((row - 'A') * 16 + (column - 'A')); }

void invalid_command() { fputs("Invalid command.\n", stdout); }

void write_banner() {
    fputs("kq 0.01\n", stdout);
    fputs("Renju engine with a four-threat solver and an alpha-beta search.\n", stdout);
    fputs("Written by the kq developers.\n", stdout);
    fputs("\n", stdout);
}

void write_help() {
    static const char* const lines[] = {
        "\t----------------------------------------",
        "\tB [num]  - go Back.",
        "\tN        - New game.",
        "\tH        - show Help.",
        "\tI        - show application Info.",
        "\tD        - Display board.",
        "\tQ        - Quit.",
        "\t{XY}     - put stone on special pos.",
        "\t{Enter}  - computer play.",
        "\t----------------------------------------",
    };
    for (const char* line : lines) printf("%s\n", line);
}

void write_move_letters(Square m) { printf("#%c%c\n", char('A' + (m & 15)), char('A' + (m >> 4))); }

void set_mode() {
    const char* p = console_argument;
    int32_t v;
    if (scan_number(p, v)) mode = v;
    if (mode < 0) mode = 0;
    if (mode > 1) mode = 1;
    printf("Mode = %d\n", mode);
}

void computer_play() {
    fix_think_budget();
    const Square m = engine_face->think(game_record);
    if (m == NO_MOVE) {
        fputs("MESSAGE computer: Pass.\n", stdout);
        game_live = 0;
    } else {
        printf("MESSAGE computer: #%c%c\n", char('A' + (m & 15)), char('A' + (m >> 4)));
        record_move(m);
        // Set after the referee: the engine keeps answering even past a five.
        game_live = 1;
    }
    show_board(game_record);
}

void person_move(Square m) {
    if (!record_move(m)) return;
    show_board(game_record);
    if (game_live) computer_play();
}

// Reads one line into `line` with its line end removed; false at end of input.
// The rest of an overlong line is dropped rather than read as the next command.
bool read_console_line(char (&line)[LINE_SIZE]) {
    line[LINE_SIZE - 1] = 1; // zeroed by fgets only when the buffer fills
    if (!fgets(line, LINE_SIZE, command_input)) return false;
    if (line[LINE_SIZE - 1] == '\0' && line[LINE_SIZE - 2] != '\n') {
        int c;
        do {
            c = getc(command_input);
        } while (c != '\n' && c != EOF);
    }
    char* p = line;
    for (; *p && *p != '\n'; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
    }
    *p = '\0';
    // Lines ending in CR LF read like the protocol's.
    if (p > line && p[-1] == '\r') p[-1] = '\0';
    return true;
}

} // namespace

uint8_t read_console_command() {
    printf("%c[%d]>", (game_record.count % 2) ? 'W' : 'B', game_record.count + 1);
    fflush(stdout);
    char line[LINE_SIZE];
    // End of input leaves console mode; the protocol loop then sees it too.
    if (!read_console_line(line)) return CONSOLE_QUIT;
    if (line[0] == '\0') return CONSOLE_COMPUTER;

    if (line[1] == ' ' || line[1] == '\0') {
        const ConsoleCommand* command = nullptr;
        for (const ConsoleCommand& c : console_commands) {
            if (c.key == line[0]) {
                command = &c;
                break;
            }
        }
        if (!command) {
            invalid_command();
            return CONSOLE_REJECTED;
        }
        snprintf(console_argument, sizeof console_argument, "%s", line[1] ? line + 2 : "");
        if (!command->takes_argument || console_argument[0] != '\0') return command->code;
        if (command->usage) {
            printf("Usage: %s\n", command->usage);
        } else {
            invalid_command();
        }
        return CONSOLE_REJECTED;
    }

    if (line[2] == '\0' && is_board_letter(line[0]) && is_board_letter(line[1]))
        return letters_square(line[0], line[1]);
    invalid_command();
    return CONSOLE_REJECTED;
}

bool parse_position(GameRecord& record) {
    record.count = 0;
    const char* p = console_argument;
    for (;;) {
        while (*p == ' ') ++p;
        if (!is_board_letter(p[0]) || !is_board_letter(p[1])) return true;
        const Square s = letters_square(p[0], p[1]);
        for (int i = 0; i < record.count; ++i) {
            if (record.moves[i] == s) return false;
        }
        // 225 distinct pairs fill the board, so a further pair repeats one.
        record.moves[record.count++] = s;
        p += 2;
    }
}

void analyse_position() {
    fputs("MESSAGE ", stdout);
    GameRecord position;
    if (!parse_position(position)) return;
    fix_think_budget();
    const Square m = engine_face->think(position);
    if (m == NO_MOVE || position.count >= MAX_MOVES) {
        fputs("Pass.\n", stdout);
        return;
    }
    position.moves[position.count++] = m;
    show_board(position);
    write_move_letters(m);
}

void console_main() {
    // Every entry registers the hook again; it runs once per registration.
    atexit(exit_hook);
    write_banner();
    reset_game();
    show_board(game_record);
    for (;;) {
        const uint8_t command = read_console_command();
        switch (command) {
        case CONSOLE_QUIT:
            return;
        case CONSOLE_DISPLAY:
            show_board(game_record);
            break;
        case CONSOLE_COMPUTER:
            computer_play();
            break;
        case CONSOLE_HELP:
            write_help();
            break;
        case CONSOLE_NEW:
            reset_game();
            show_board(game_record);
            break;
        case CONSOLE_BACK:
            take_back();
            show_board(game_record);
            break;
        case CONSOLE_ANALYSE:
            analyse_position();
            break;
        case CONSOLE_INFO:
            write_banner();
            break;
        case CONSOLE_MODE:
            set_mode();
            break;
        case CONSOLE_OPTION:
        case CONSOLE_SET:
        case CONSOLE_LEVEL:
        case CONSOLE_REJECTED:
            break;
        default:
            person_move(command);
            break;
        }
    }
}
