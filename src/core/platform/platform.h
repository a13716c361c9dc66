// What differs between the systems the engines run on: the standard streams,
// the lock that keeps an output line whole, and table memory.
// Each system has its own file (posix.cpp, windows.cpp); nothing else in the
// program includes a header of one system.
#pragma once

#include <cstddef>

// Puts standard input and output in the state the protocol expects: bytes
// pass unchanged both ways (no line-end translation, no end-of-file byte),
// so a line ends in "\n" on every system. Called once, before the first read.
void prepare_streams();

// The lock of stdout: while it is held, no other thread's output reaches the
// stream. It may be taken again by the thread that holds it.
void lock_output();
void unlock_output();

// Afterwards the first `used` bytes of [p, p + size) read as zero; the rest
// is of no more interest. POSIX gives every whole page of the range back to
// the system (it reads as zero when next touched, so nothing is written and
// nothing stays resident). Windows cannot hand back zeroed pages of a
// program's static data: the first `used` bytes are written, and the whole
// pages after them are reset (dropped from the working set, their content
// undefined).
void clear_memory(void* p, size_t used, size_t size);

// Memory for a large table: zeroed, untouched until used, in large pages
// where the system offers them (fewer page faults and TLB misses for tables
// probed at random); null when it cannot be had. Given back with its size.
void* take_table_memory(size_t bytes);
void give_table_memory_back(void* p, size_t bytes);
// Asks for large pages over the whole large pages inside [p, p + bytes) of
// memory the program already has (its static data); nothing where the system
// has no such request.
void prefer_large_pages(void* p, size_t bytes);
