// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <optional>

namespace krv {

class Companion;
class IniDocument;

// The companion's files changed by another program (the command-line tool, an editor): config.ini and
// the language's macro file are watched (their folder too, since a save replaces a file by renaming
// another over it), and a change is read, under the files' locks, DebounceMs after the first event of
// a burst. What the companion saved itself is no change: the file is compared with what the window
// last read or saved.
// - Without unsaved edits of the profile shown (or of the macros) the window shows the file at once,
//   and the companion serves it and the mouse gets it when the current profile's values or
//   "CurConfig" changed.
// - With unsaved edits the user is asked (reload or keep). Reload drops them and takes the file; keep
//   goes on with them over the file as it is now, and a later apply or save writes them over it.
// - A change of another profile than the one shown, or of Config6, changes nothing in the window: an
//   apply writes only its own profile.
class FileReload : public QObject {
    Q_OBJECT
public:
    static constexpr int DebounceMs = 200;

    explicit FileReload(Companion& companion, QObject* parent = nullptr);

    // Watches config.ini and the current macro file (again after a language switch).
    void watch();

    // Reads the current profile and the macros from the files now. Without unsaved edits the profile
    // is applied (the mouse, the companion and the files agree afterwards); with edits of a changed
    // file the user is asked. Fails with the line that names the file when one cannot be read, or
    // while the companion is not running.
    FileStatus reload();

    // A save or a deletion on the macro page found the macro file changed since the page read it.
    // saveAfterKeep: the user asked to save; if they keep their macros, these are saved then.
    void macroFileChangedUnderSave(bool saveAfterKeep);

    // A question to the user is open (profile or macros).
    bool asking() const { return m_askingProfile || m_askingMacros; }

signals:
    // A look at the files has ended (whether or not anything changed): for tests and the log.
    void checked();

private:
    void scheduleCheck();
    void check();
    // forceApply: apply the profile even when the file holds what the window holds (a reload asked for).
    void profileFileRead(const IniDocument& doc, bool forceApply);
    void macroFileRead(const IniDocument& doc, bool saveAfterKeep);
    void askAboutProfile();
    void askAboutMacros(bool saveAfterKeep);
    // The window takes profile n as the file holds it, and it is applied.
    void takeProfile(const IniDocument& doc, int n);
    void takeMacros(const IniDocument& doc);
    std::optional<IniDocument> readNow(bool macros);
    bool running() const;

    Companion& m_companion;
    QFileSystemWatcher m_watcher;
    QTimer m_debounce;
    bool m_askingProfile = false;
    bool m_askingMacros = false;
    bool m_saveAfterKeep = false;
    // "CurConfig" as the file held it when the user chose to keep their profile: not asked again.
    int m_keptCurConfig = 0;
};

} // namespace krv
