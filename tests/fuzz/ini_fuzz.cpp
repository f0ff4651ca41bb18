// SPDX-License-Identifier: MIT
// The INI parser and writer on arbitrary bytes: never crash or hang, a document read and written back
// unchanged keeps every byte of the file (whatever its encoding, an odd last byte of a UTF-16 file
// included), and a written key reads back.
#include "settings/IniDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    krv::IniDocument doc = krv::IniDocument::parse(bytes);
    if (doc.serialize() != bytes)
        std::abort();
    (void)doc.read("Config1", "K1", "", 5);
    (void)doc.readInt("Init", "CurConfig", 5);
    doc.write("Config1", "K2", "42");
    krv::IniDocument again = krv::IniDocument::parse(doc.serialize());
    if (again.read("Config1", "K2") != "42")
        std::abort();
    return 0;
}
