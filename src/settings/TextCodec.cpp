// SPDX-License-Identifier: MIT
#include "settings/TextCodec.h"

namespace krv {

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at text[i]; a byte that starts no valid sequence decodes as itself
// (Latin-1), so that any input converts without loss of length or a hang.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    auto cont = [&](std::size_t k) {
        return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[i + k]) & 0x3F); };
    if (b0 < 0x80) {
        i += 1;
        return b0;
    }
    if ((b0 & 0xE0) == 0xC0 && cont(1)) {
        char32_t cp = (static_cast<char32_t>(b0 & 0x1F) << 6) | bits(1);
        i += 2;
        return cp;
    }
    if ((b0 & 0xF0) == 0xE0 && cont(1) && cont(2)) {
        char32_t cp = (static_cast<char32_t>(b0 & 0x0F) << 12) | (bits(1) << 6) | bits(2);
        i += 3;
        return cp;
    }
    if ((b0 & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
        char32_t cp = (static_cast<char32_t>(b0 & 0x07) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
        i += 4;
        if (cp <= 0x10FFFF)
            return cp;
        return 0xFFFD;
    }
    i += 1;
    return b0;
}

} // namespace

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, unit); // a lone surrogate is kept in generalised UTF-8
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        appendUtf16(out, nextCodePoint(text, i));
    return out;
}

std::string decodeText(std::string_view bytes, TextEncoding& encoding) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding = TextEncoding::Utf8Bom;
        return std::string(bytes.substr(3));
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        encoding = TextEncoding::Utf16LeBom;
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return utf16ToUtf8(units);
    }
    encoding = TextEncoding::Utf8;
    return std::string(bytes);
}

std::string encodeText(std::string_view text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return std::string(text);
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + std::string(text);
    case TextEncoding::Utf16LeBom: {
        std::u16string units = utf8ToUtf16(text);
        std::string out = "\xFF\xFE";
        out.reserve(2 + units.size() * 2);
        for (char16_t unit : units) {
            out += static_cast<char>(unit & 0xFF);
            out += static_cast<char>(unit >> 8);
        }
        return out;
    }
    }
    return std::string(text);
}

} // namespace krv
