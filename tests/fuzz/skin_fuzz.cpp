// SPDX-License-Identifier: MIT
// Skin description values on arbitrary bytes: never crash, and the seven fields always account for
// the value they were split from.
#include "settings/IniDocument.h"
#include "skin/SkinDescriptions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class CountingNotifier : public krv::UiNotifier {
public:
    void showMessage(std::string_view) override { ++messages; }
    int messages = 0;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const krv::IniDocument document = krv::IniDocument::parse(bytes);
    CountingNotifier notifier;
    krv::SkinLayout layout(krv::MainElementCount);
    int overcrowded = 0;
    for (int k = 0; k < 100; ++k) {
        const std::string value = document.read("BUTTONPOS", std::to_string(k), {}, 260);
        const krv::SkinEntry entry = krv::ReadSkinEntry(document, "BUTTONPOS", k, notifier);
        const auto commas = std::count(value.begin(), value.end(), ',');
        check(entry.tooManyCommas == (commas > 6));
        overcrowded += entry.tooManyCommas ? 1 : 0;
        if (commas == 0)
            check(entry.fields[0] == value);
        if (commas == 6) {
            std::string joined;
            for (int i = 0; i < 6; ++i)
                joined += entry.fields[static_cast<std::size_t>(i)] + ",";
            check(joined + entry.fields[6] == value);
        }
        layout.at(static_cast<std::size_t>(k)) = {krv::leadingInt(entry.fields[1]), krv::leadingInt(entry.fields[2]),
                                                  krv::leadingInt(entry.fields[3]), krv::leadingInt(entry.fields[4]),
                                                  entry.fields[5]};
    }
    check(notifier.messages == overcrowded);
    // hit tests near every element's corners stay within the tested range
    for (std::size_t k = 0; k < layout.size(); ++k) {
        const krv::SkinElement& e = layout[k];
        for (int dx : {-1, 0, 1})
            for (int dy : {-1, 0, 1}) {
                const auto px = krv::SkinElement::saturated(std::int64_t{e.x} + dx);
                const auto py = krv::SkinElement::saturated(std::int64_t{e.y} + dy);
                const krv::HitIndex hit = layout.hitTest(px, py, 90);
                check(hit == krv::NoHit || hit <= 90);
            }
    }
    return 0;
}
