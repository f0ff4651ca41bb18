// krv-glyde-ctl: macro list/show/import/export of the language's macro file.
#include "app/ctl/CtlCommands.h"
#include "macros/MacroTable.h"
#include "settings/IniFile.h"

namespace krv::ctl {

namespace {

std::filesystem::path languageMacroFile(const CtlContext& ctx) {
    return ctx.paths.userMacroFile(ReadUiLanguage(ctx.paths.configPath()));
}

// Loads the language's macro file; false (with the error printed) when it cannot be read.
bool loadLanguageMacros(const CtlContext& ctx, MacroTable& table) {
    const auto file = languageMacroFile(ctx);
    if (!IniFile::exists(file)) {
        ctx.fail("cannot read " + file.string());
        return false;
    }
    LoadMacroFile(table, file, ctx.notifier);
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
    MacroTable table;
    if (!loadLanguageMacros(ctx, table))
        return ExitError;
    auto index = parseNumber(args[0], 0, MacroTable::Capacity - 1);
    if (!index || *index >= table.count())
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
    if (!IniFile::exists(args[0]))
        return ctx.fail("cannot read " + args[0]);
    MacroTable table;
    LoadMacroFile(table, args[0], ctx.notifier);
    const auto target = languageMacroFile(ctx);
    if (!SaveMacroFile(table, target))
        return ctx.fail("cannot write " + target.string());
    return ExitOk;
}

int macroExport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: macro export FILE");
    MacroTable table;
    if (!loadLanguageMacros(ctx, table))
        return ExitError;
    if (!SaveMacroFile(table, args[0]))
        return ctx.fail("cannot write " + args[0]);
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
