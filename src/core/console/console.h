// Console play mode: a person plays the engine at a text prompt on the
// protocol's own streams, and the text board display.
#pragma once

#include <cstdint>

#include "../types.h"

extern char console_argument[1024];
extern int32_t mode;

void console_main();
uint8_t read_console_command();
bool parse_position(GameRecord& record);
void analyse_position();
void show_board(const GameRecord& record);
