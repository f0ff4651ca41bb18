// SPDX-License-Identifier: MIT
// The macro file reader on arbitrary bytes: never crash, never read or write past the table, and
// what it loaded survives a write and a second read unchanged.
#include "macros/MacroTable.h"
#include "settings/IniDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    krv::IniDocument doc = krv::IniDocument::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    krv::MacroTable table;
    krv::ReadMacroDocument(table, doc);
    if (table.count() < 0 || table.count() > krv::MacroTable::Capacity)
        std::abort();
    for (int i = 0; i < table.count(); ++i)
        (void)table.nameUtf8(i);
    krv::WriteMacroDocument(table, doc);
    krv::MacroTable again;
    krv::ReadMacroDocument(again, krv::IniDocument::parse(doc.serialize()));
    if (again.count() != table.count())
        std::abort();
    for (int i = 0; i < table.count(); ++i)
        if (!(again.record(i) == table.record(i)))
            std::abort();
    return 0;
}
