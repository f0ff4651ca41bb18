// SPDX-License-Identifier: MIT
#include "app/FileReload.h"

#include "app/Companion.h"
#include "settings/IniFile.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"

namespace krv {

FileReload::FileReload(Companion& companion, QObject* parent) : QObject(parent), m_companion(companion) {}

FileStatus FileReload::reload() {
    if (m_companion.state() == Companion::State::Ended || m_companion.state() == Companion::State::Starting)
        return FileStatus::failure("the companion is not running");
    AppContext& ctx = m_companion.context();
    const IniRead config = IniFile::read(ctx.paths.configPath());
    if (config.unreadable())
        return config.status();
    ctx.settings.currentProfile.store(ReadCurConfig(config.document));
    ctx.settings.setValues(ReadProfileValues(config.document, ctx.settings.currentProfile.load(), false, ctx.language));
    if (FileStatus loaded = LoadMacroFile(ctx.macros, ctx.macros.filePath, m_companion.notifier()); !loaded)
        return loaded;
    if (m_companion.window().viewState().page == SkinPage::Advanced)
        m_companion.macroPage().refillMacroList();
    m_companion.applyProfile();
    return FileStatus::success();
}

} // namespace krv
