// SPDX-License-Identifier: MIT
#pragma once

#include "settings/IniDocument.h"

#include <string>
#include <string_view>

namespace krv {

// Turns file bytes into UTF-8 text and tells which encoding they were in: a UTF-8 BOM or a UTF-16LE
// BOM is recognised, anything else is taken as UTF-8 as it stands. UTF-16 that is not well formed
// (lone surrogates) is carried in the generalised UTF-8 form, so that encoding it again gives back
// the same bytes; a final odd byte of a UTF-16 file is dropped.
std::string decodeText(std::string_view bytes, TextEncoding& encoding);

// The reverse of decodeText: UTF-8 text to the bytes of the given encoding, BOM included.
std::string encodeText(std::string_view text, TextEncoding encoding);

// UTF-16LE code units to UTF-8 and back, as used by the macro names.
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

} // namespace krv
