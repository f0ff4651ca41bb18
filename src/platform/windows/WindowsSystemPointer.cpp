// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsSystemPointer.h"

#include "platform/windows/Win32.h"

#include <cstdint>

namespace krv {

std::optional<int> WindowsSystemPointer::pointerSpeed() {
    int speed = 0;
    if (!SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &speed, 0))
        return std::nullopt;
    return speed;
}

bool WindowsSystemPointer::setPointerSpeed(int speed) {
    if (speed < 1 || speed > 20)
        return false;
    // The new speed is the pointer parameter's value itself, not what it points to.
    return SystemParametersInfoW(SPI_SETMOUSESPEED, 0, reinterpret_cast<void*>(static_cast<std::intptr_t>(speed)),
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
}

std::optional<int> WindowsSystemPointer::wheelScrollLines() {
    UINT lines = 0;
    if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0))
        return std::nullopt;
    return static_cast<int>(lines);
}

bool WindowsSystemPointer::setWheelScrollLines(int lines) {
    if (lines < 0)
        return false;
    return SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, static_cast<UINT>(lines), nullptr,
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
}

} // namespace krv
