// SPDX-License-Identifier: MIT
#include "app/FileReload.h"

#include "app/Companion.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"
#include "ui/SaveWhenUnlocked.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>

namespace krv {

namespace {

bool shareAKey(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::any_of(a.begin(), a.end(),
                       [&](const std::string& key) { return std::find(b.begin(), b.end(), key) != b.end(); });
}

bool isProfile(int n) {
    return n >= 1 && n <= ProfileCount;
}

QString qtPath(const std::filesystem::path& path) {
    return QString::fromStdString(fsys::Utf8Of(path));
}

} // namespace

FileReload::FileReload(Companion& companion, QObject* parent) : QObject(parent), m_companion(companion) {
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(DebounceMs);
    connect(&m_debounce, &QTimer::timeout, this, &FileReload::check);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileReload::scheduleCheck);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileReload::scheduleCheck);
}

bool FileReload::running() const {
    return m_companion.state() == Companion::State::Shown || m_companion.state() == Companion::State::InTray;
}

void FileReload::watch() {
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    AppContext& ctx = m_companion.context();
    for (const std::filesystem::path& file : {ctx.paths.configPath(), ctx.macros.filePath}) {
        const QFileInfo info(qtPath(file));
        // The folder sees a save's rename; the file itself an editor that writes it in place.
        if (QFileInfo::exists(info.absolutePath()) && !m_watcher.directories().contains(info.absolutePath()))
            m_watcher.addPath(info.absolutePath());
        if (info.exists())
            m_watcher.addPath(info.absoluteFilePath());
    }
}

void FileReload::scheduleCheck() {
    // The first event of a burst starts the wait; the rest of the burst (a temporary written, renamed,
    // the lock file touched) falls into it.
    if (!m_debounce.isActive())
        m_debounce.start();
}

std::optional<IniDocument> FileReload::readNow(bool macros) {
    AppContext& ctx = m_companion.context();
    const IniRead read = IniFile::readLocked(macros ? ctx.macros.filePath : ctx.paths.configPath());
    // A missing or unreadable file holds nothing to take: the window keeps what it has.
    if (read.state != FileState::Readable)
        return std::nullopt;
    return read.document;
}

void FileReload::check() {
    if (!running())
        return;
    AppContext& ctx = m_companion.context();
    // Another program is saving: looked at again shortly, so that the window never waits for its lock.
    if (!IniFile::lockFree(ctx.paths.configPath()) || !IniFile::lockFree(ctx.macros.filePath)) {
        m_debounce.start();
        return;
    }
    // A file replaced by a rename is a new file to the watcher.
    for (const std::filesystem::path& file : {ctx.paths.configPath(), ctx.macros.filePath}) {
        const QFileInfo info(qtPath(file));
        if (info.exists() && !m_watcher.files().contains(info.absoluteFilePath()))
            m_watcher.addPath(info.absoluteFilePath());
    }
    // While the user is asked, the answer takes the file as it is then.
    if (const auto doc = readNow(false)) {
        if (!m_askingLanguage && !m_askingMacros)
            languageFileRead(*doc);
        if (!m_askingProfile)
            profileFileRead(*doc, false);
    }
    // A switch of the language has read its own macro file.
    if (!m_askingMacros && !m_askingLanguage) {
        if (const auto doc = readNow(true))
            macroFileRead(*doc, false);
    }
    emit checked();
}

void FileReload::whenUnlocked(std::vector<std::filesystem::path> files, std::function<void()> work,
                              std::function<void(const FileStatus&)> gaveUp) {
    SaveWhenUnlocked(this, std::move(files), std::move(work), std::move(gaveUp));
}

void FileReload::answerGaveUp(bool& asking, const FileStatus& failure) {
    asking = false;
    m_companion.reportNotLoaded(failure);
    emit checked();
}

void FileReload::reload(std::function<void(const FileStatus&)> done) {
    if (!running()) {
        done(FileStatus::failure("the companion is not running"));
        return;
    }
    AppContext& ctx = m_companion.context();
    // Another program's save in progress is waited for by a timer, never on the window's thread.
    whenUnlocked(
        {ctx.paths.configPath(), ctx.macros.filePath},
        [this, done] {
            if (!running()) {
                done(FileStatus::failure("the companion is not running"));
                return;
            }
            AppContext& ctx = m_companion.context();
            const IniRead config = IniFile::readLocked(ctx.paths.configPath());
            if (config.unreadable()) {
                done(config.status());
                return;
            }
            if (config.state == FileState::Readable && !m_askingLanguage && !m_askingMacros)
                languageFileRead(config.document);
            // After a switch of the language, its own macro file.
            const IniRead macros = IniFile::readLocked(ctx.macros.filePath);
            if (macros.unreadable()) {
                done(macros.status());
                return;
            }
            if (config.state == FileState::Readable && !m_askingProfile)
                profileFileRead(config.document, true);
            if (macros.state == FileState::Readable && !m_askingMacros && !m_askingLanguage)
                macroFileRead(macros.document, false);
            emit checked();
            done(FileStatus::success());
        },
        done);
}

void FileReload::profileFileRead(const IniDocument& doc, bool forceApply) {
    AppContext& ctx = m_companion.context();
    ProfileSettings& settings = ctx.settings;
    MainWindowController& controller = m_companion.controller();
    const int shown = settings.currentProfile.load();
    const int fileCurrent = ReadCurConfig(doc);
    if (fileCurrent == shown)
        m_keptCurConfig = 0;
    // Another program made another profile current (one the user has not declined already).
    const bool switched = fileCurrent != shown && isProfile(fileCurrent) && fileCurrent != m_keptCurConfig;
    const ProfileValues window = settings.values();
    const ProfileValues file = ReadProfileValues(doc, shown, false, ctx.language);
    const MainWindowController::ProfileOnFile& known = controller.profileOnFile();
    const bool knownShown = known.profile == shown;
    // Edits: keys the window changed since it read the profile that the file does not hold now.
    const bool edits = knownShown && shareAKey(DifferingKeys(window, known.values), DifferingKeys(window, file));
    // Changed: keys the file changed since the window read it that the window does not hold. A key
    // the window holds already (the companion's own save, a DPI step of a mouse button) is no change.
    const bool changed =
        switched ||
        (knownShown ? shareAKey(DifferingKeys(file, known.values), DifferingKeys(file, window)) : window != file);
    if (!changed) {
        controller.setProfileOnFile(shown, file);
        if (forceApply && !edits)
            m_companion.applyProfile();
        return;
    }
    if (!edits) {
        takeProfile(doc, switched ? fileCurrent : shown);
        return;
    }
    askAboutProfile();
}

void FileReload::takeProfile(const IniDocument& doc, int n) {
    AppContext& ctx = m_companion.context();
    const ProfileValues values = ReadProfileValues(doc, n, false, ctx.language);
    ctx.settings.currentProfile.store(n);
    ctx.settings.setValues(values);
    m_companion.controller().setProfileOnFile(n, values);
    m_companion.window().update();
    // The mouse gets it and the companion serves its host functions.
    m_companion.applyProfile();
}

void FileReload::askAboutProfile() {
    m_askingProfile = true;
    QPointer<FileReload> self(this);
    m_companion.dialogs().fileChanged(&m_companion.window(), ChangedFile::Profile, [self](bool reload) {
        if (!self)
            return;
        // The answer takes the file as it is once no other program is saving it; the question stays
        // open to the watcher until then.
        self->whenUnlocked(
            {self->m_companion.context().paths.configPath()},
            [self, reload] {
                self->m_askingProfile = false;
                self->profileAnswered(reload);
                emit self->checked();
            },
            [self](const FileStatus& failure) { self->answerGaveUp(self->m_askingProfile, failure); });
    });
}

void FileReload::profileAnswered(bool reload) {
    const auto doc = running() ? readNow(false) : std::nullopt;
    if (!doc)
        return;
    AppContext& ctx = m_companion.context();
    ProfileSettings& settings = ctx.settings;
    const int shown = settings.currentProfile.load();
    const int fileCurrent = ReadCurConfig(*doc);
    if (reload) {
        takeProfile(*doc, isProfile(fileCurrent) ? fileCurrent : shown);
        return;
    }
    // The edits stay, over the profile as the file holds it now; nothing is sent or saved.
    MainWindowController& controller = m_companion.controller();
    const ProfileValues file = ReadProfileValues(*doc, shown, false, ctx.language);
    const MainWindowController::ProfileOnFile known = controller.profileOnFile();
    const ProfileValues kept =
        known.profile == shown ? OverlayEdits(known.values, settings.values(), file) : settings.values();
    std::array<std::uint8_t, DpiStageCount> applied{};
    for (int s = 0; s < DpiStageCount; ++s)
        applied[s] = settings.appliedDpiStagePositions[s].load();
    settings.setValues(kept);
    for (int s = 0; s < DpiStageCount; ++s)
        settings.appliedDpiStagePositions[s].store(applied[s]);
    controller.setProfileOnFile(shown, file);
    if (fileCurrent != shown)
        m_keptCurConfig = fileCurrent;
    m_companion.window().update();
}

void FileReload::macroFileRead(const IniDocument& doc, bool saveAfterKeep) {
    MacroPage& page = m_companion.macroPage();
    const MacroSnapshot file = ReadMacroSnapshot(doc);
    if (file == page.macrosOnFile())
        return;
    const MacroSnapshot table = SnapshotOf(m_companion.context().macros);
    if (file == table) {
        page.setMacrosOnFile(file);
        return;
    }
    if (table == page.macrosOnFile()) {
        takeMacros(doc);
        return;
    }
    askAboutMacros(saveAfterKeep);
}

void FileReload::takeMacros(const IniDocument& doc) {
    MacroPage& page = m_companion.macroPage();
    if (page.editor().recording())
        page.editor().StopRecording();
    ReadMacroDocument(m_companion.context().macros, doc);
    page.macrosLoaded();
    if (m_companion.window().viewState().page == SkinPage::Advanced)
        page.refillMacroList();
    m_companion.window().update();
}

void FileReload::macroFileChangedUnderSave(bool saveAfterKeep) {
    if (m_askingMacros || m_askingLanguage) {
        m_saveAfterKeep = m_saveAfterKeep || saveAfterKeep;
        return;
    }
    whenUnlocked(
        {m_companion.context().macros.filePath},
        [this, saveAfterKeep] {
            if (m_askingMacros || m_askingLanguage) {
                m_saveAfterKeep = m_saveAfterKeep || saveAfterKeep;
            } else if (const auto doc = running() ? readNow(true) : std::nullopt) {
                macroFileRead(*doc, saveAfterKeep);
            }
            emit checked();
        },
        [this](const FileStatus& failure) {
            m_companion.reportNotLoaded(failure);
            emit checked();
        });
}

void FileReload::askAboutMacros(bool saveAfterKeep) {
    m_askingMacros = true;
    m_saveAfterKeep = m_saveAfterKeep || saveAfterKeep;
    QPointer<FileReload> self(this);
    m_companion.dialogs().fileChanged(&m_companion.window(), ChangedFile::Macros, [self](bool reload) {
        if (!self)
            return;
        const auto answered = [self, reload] {
            self->m_askingMacros = false;
            const bool save = std::exchange(self->m_saveAfterKeep, false);
            const auto doc = self->running() ? self->readNow(true) : std::nullopt;
            if (doc) {
                MacroPage& page = self->m_companion.macroPage();
                if (reload) {
                    self->takeMacros(*doc);
                } else {
                    // The user's macros are their choice now: a save writes them over the file as it is.
                    page.setMacrosOnFile(ReadMacroSnapshot(*doc));
                    if (save)
                        page.action(AdvancedElement::SaveMacros);
                }
            }
            emit self->checked();
        };
        self->whenUnlocked({self->m_companion.context().macros.filePath}, answered, [self](const FileStatus& failure) {
            self->m_saveAfterKeep = false;
            self->answerGaveUp(self->m_askingMacros, failure);
        });
    });
}

void FileReload::languageFileRead(const IniDocument& doc) {
    const UiLanguage file = ReadUiLanguage(doc);
    if (file == m_companion.context().language) {
        m_keptLanguage.reset();
        return;
    }
    if (m_keptLanguage == file)
        return;
    // The switch reads the other language's macro file: edits of the macros shown are not dropped
    // without the user's word.
    MacroPage& page = m_companion.macroPage();
    if (page.unsavedMacroEdits() || page.editor().recording()) {
        askAboutLanguage();
        return;
    }
    switchLanguageTo(file);
}

void FileReload::switchLanguageTo(UiLanguage language) {
    MacroPage& page = m_companion.macroPage();
    if (page.editor().recording())
        page.editor().StopRecording();
    m_keptLanguage.reset();
    // As the window's language buttons: the texts, the language's macro file, the menus; "VER_SEL"
    // holds the language already, so nothing is written.
    m_companion.switchLanguage(language);
    m_companion.window().update();
}

void FileReload::askAboutLanguage() {
    m_askingLanguage = true;
    QPointer<FileReload> self(this);
    m_companion.dialogs().fileChanged(&m_companion.window(), ChangedFile::Macros, [self](bool reload) {
        if (!self)
            return;
        self->whenUnlocked(
            {self->m_companion.context().paths.configPath(), self->m_companion.context().macros.filePath},
            [self, reload] {
                self->m_askingLanguage = false;
                const auto doc = self->running() ? self->readNow(false) : std::nullopt;
                if (doc) {
                    const UiLanguage file = ReadUiLanguage(*doc);
                    if (file == self->m_companion.context().language)
                        self->m_keptLanguage.reset();
                    else if (reload)
                        self->switchLanguageTo(file);
                    else
                        self->m_keptLanguage = file; // the language shown and the edits stay
                }
                emit self->checked();
            },
            [self](const FileStatus& failure) { self->answerGaveUp(self->m_askingLanguage, failure); });
    });
}

} // namespace krv
