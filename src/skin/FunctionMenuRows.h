// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/ButtonCode.h"

#include <array>
#include <optional>

namespace krv {

// The rows of a button slot's function menu. The first level has ten rows: rows 1..6 assign codes
// 1..6; rows 7, 8, 9 and 10 open a group beside it.
struct MenuGroup {
    int row;         // first-level row 7..10
    ButtonCode base; // a second-level item i (1-based) stores base + i
    int itemCount;   // fixed count; the macro group has one item per macro
};
constexpr int FirstLevelRows = 10;
constexpr int DirectRows = 6;
constexpr std::array<MenuGroup, 4> MenuGroups{{{7, 10, 9}, {8, 20, 6}, {9, 40, 0}, {10, 30, 10}}};
constexpr int MacroMenuRow = 9;

// The group of a first-level row, or nothing for rows 1..6.
constexpr std::optional<MenuGroup> MenuGroupOfRow(int row) {
    for (const MenuGroup& group : MenuGroups)
        if (group.row == row)
            return group;
    return std::nullopt;
}

} // namespace krv
