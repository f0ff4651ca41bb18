// SPDX-License-Identifier: MIT
// krv-glyde-ctl: macro list/show/import/export of the language's macro file.
#include "app/ctl/CtlCommands.h"
#include "app/ctl/CtlCompanion.h"
#include "macros/MacroTable.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

namespace krv::ctl {

namespace {

// The language's macro file, named by "VER_SEL" of config.ini; nothing (with the error printed) when
// config.ini cannot be read.
std::optional<std::filesystem::path> languageMacroFile(const CtlContext& ctx) {
    const IniRead config = IniFile::read(ctx.paths().configPath());
    if (config.unreadable()) {
        ctx.fail(config.error);
        return std::nullopt;
    }
    return ctx.paths().userMacroFile(ReadUiLanguage(config.document));
}

// Loads the language's macro file; false (with the error printed) when it cannot be read.
bool loadLanguageMacros(const CtlContext& ctx, MacroTable& table) {
    const auto file = languageMacroFile(ctx);
    if (!file)
        return false;
    const IniRead read = IniFile::read(*file);
    if (read.state != FileState::Readable) {
        ctx.fail(read.unreadable() ? read.error : "cannot read " + fsys::Utf8Of(*file));
        return false;
    }
    ReadMacroDocument(table, read.document);
    return true;
}

int macroList(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: macro list");
    MacroTable table;
    if (!loadLanguageMacros(ctx, table))
        return ExitError;
    for (int i = 0; i < table.count(); ++i) {
        const MacroRecord r = table.record(i);
        ctx.out << i << '\t' << r.nameUtf8() << '\t' << int(r.eventCount()) << '\t' << int(r.repeatEnabled()) << '\t'
                << r.repeatCount() << '\n';
    }
    return ExitOk;
}

int macroShow(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: macro show I");
    const auto index = parseNumber(args[0], 0, MacroTable::Capacity - 1);
    if (!index)
        return ctx.fail("bad macro index: " + args[0] + " (0 to " + std::to_string(MacroTable::Capacity - 1) + ")");
    MacroTable table;
    if (!loadLanguageMacros(ctx, table))
        return ExitError;
    if (*index >= table.count())
        return ctx.fail("bad macro index: " + args[0] + " (" + std::to_string(table.count()) + " macros)");
    const MacroRecord r = table.record(*index);
    for (int j = 0; j < r.eventCount() && j < MacroRecord::EventSlots; ++j) {
        const MacroEvent e = r.event(j);
        ctx.out << int(e.code) << ' ' << int(e.action) << ' ' << e.delay << '\n';
    }
    return ExitOk;
}

int macroImport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: macro import FILE");
    // The source is checked whole before the user's file is touched.
    MacroTable table;
    if (const FileStatus found = LoadMacroSource(table, fsys::PathFromUtf8(args[0])); !found)
        return ctx.fail(found.message());
    const auto target = languageMacroFile(ctx);
    if (!target)
        return ExitError;
    LinkedCompanion companion = FindCompanion(ctx);
    if (companion.refusal)
        return *companion.refusal;
    if (const FileStatus saved = SaveMacroFile(table, *target); !saved)
        return ctx.fail(saved.message());
    return ReloadCompanion(ctx, companion, "the macros");
}

int macroExport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: macro export FILE");
    MacroTable table;
    if (!loadLanguageMacros(ctx, table))
        return ExitError;
    if (const FileStatus saved = SaveMacroFile(table, fsys::PathFromUtf8(args[0]), FileLock::None); !saved)
        return ctx.fail(saved.message());
    return ExitOk;
}

} // namespace

std::vector<CtlCommand> macroCommands() {
    return {
        {{"macro", "list"}, "macro list              index, name, events, repeat flag, repeat count", macroList},
        {{"macro", "show"}, "macro show I            the events of macro I: code action delay", macroShow},
        {{"macro", "import"}, "macro import FILE       replace the language's macro file from FILE", macroImport},
        {{"macro", "export"}, "macro export FILE       copy the language's macros into FILE", macroExport},
    };
}

} // namespace krv::ctl
