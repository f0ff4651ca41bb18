// SPDX-License-Identifier: MIT
#include "skin/SkinLayout.h"

#include <algorithm>

namespace krv {

HitIndex SkinLayout::hitTest(std::int32_t px, std::int32_t py, int lastIndex) const {
    const int last = std::min<int>(lastIndex, static_cast<int>(m_elements.size()) - 1);
    for (int i = 0; i <= last && i < NoHit; ++i)
        if (m_elements[static_cast<std::size_t>(i)].contains(px, py))
            return static_cast<HitIndex>(i);
    return NoHit;
}

void SkinLayout::clear() {
    for (SkinElement& element : m_elements)
        element = SkinElement{};
}

const SkinElement& SkinLayout::empty() {
    static const SkinElement none{};
    return none;
}

} // namespace krv
