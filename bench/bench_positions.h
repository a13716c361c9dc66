// The fixed positions of the search benchmarks, as move lists: two letters
// per move (column, row), in the order played. Openings, middle games from
// engine games, and threat positions.
#pragma once

#include "core/types.h"

namespace {

const char* const positions[] = {
    "HH",
    "HHHI",
    "HHIIGJ",
    "HHGIJG",
    "HHIGGI",
    "HHJHHJ",
    "HHHIIHGH",
    "HHIIGJJHHJIJ",
    "HHGIJGKHIHKFJIKG",
    "HHIGGIJHHFIIHGHEHJ",
    "HHJHHJJJHIHKJGJIIGHG",
    "HHKKKHJHJIIJIGIIKEJFKGKF",
    "HHHIIHGHIJIGJIHGJHKHJGJJIIKG",
    "HHIIGJJHHJIJIKGIHIHKIHJGJIHGFK",
    "HHGIJGKHIHKFJIKGKIJFHGGFHIHJJH",
    "HHJHHJJJHIHKJGJIIGHGGIFJIHGJIEJK",
    "HHIGGIJHHFIIHGHEHJHIFHIKIHIEGGGH",
    "HHKKKHJHJIIJIGIIKEJFKGKFJGHGIFHELG",
    "HHHIIHGHIJIGJIHGJHKHJGJJIIKGKFJEIFLE",
    "HHIIGJJHHJIJIKGIHIHKIHJGJIHGFKELIGIF",
    "HHGIJGKHIHKFJIKGKIJFHGGFHIHJJHHEGHFH",
    "HHJHHJJJHIHKJGJIIGHGGIFJIHGJIEJKJLIFIK",
};

bool parse(const char* text, GameRecord& record) {
    record.count = 0;
    for (const char* p = text; p[0] && p[1]; p += 2) {
        if (p[0] < 'A' || p[0] > 'O' || p[1] < 'A' || p[1] > 'O') return false;
        record.moves[record.count++] = Square((p[1] - 'A') * 16 + (p[0] - 'A'));
    }
    return true;
}

} // namespace
