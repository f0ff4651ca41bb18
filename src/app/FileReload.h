// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include "settings/UiLanguage.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

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
// - "VER_SEL" set to the other language switches the companion's language as the window's language
//   buttons do (texts, the language's macro file, menus), before the profile is looked at. With
//   unsaved macro edits (or a recording) the user is asked first, since the switch reads the other
//   language's macros: reload switches, keep stays in the language shown with the edits.
// Nothing here waits for another program's lock on the window's thread: a look at the files, a
// reload asked for and the work after an answer run once the locks are free (see SaveWhenUnlocked).
class FileReload : public QObject {
    Q_OBJECT
public:
    static constexpr int DebounceMs = 200;

    explicit FileReload(Companion& companion, QObject* parent = nullptr);

    // Watches config.ini and the current macro file (again after a language switch).
    void watch();

    // Reads the current profile and the macros from the files (once no other program holds their
    // locks) and tells done: without unsaved edits the profile is applied (the mouse, the companion
    // and the files agree afterwards); with edits of a changed file the user is asked. Fails with the
    // line that names the file when one cannot be read or stays locked past the lock's patience, or
    // while the companion is not running. done runs on the window's thread, never before reload
    // returns when it has to wait, and not at all once this object is gone.
    void reload(std::function<void(const FileStatus&)> done);

    // A save or a deletion on the macro page found the macro file changed since the page read it.
    // saveAfterKeep: the user asked to save; if they keep their macros, these are saved then.
    void macroFileChangedUnderSave(bool saveAfterKeep);

    // A question to the user is open (profile or macros).
    bool asking() const { return m_askingProfile || m_askingMacros || m_askingLanguage; }

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
    // The user answered the question about the profile: reload takes the file, keep lays the edits
    // over it.
    void profileAnswered(bool reload);
    void askAboutMacros(bool saveAfterKeep);
    // "VER_SEL" as the file holds it: switches the language when it names the other one, or asks
    // first when the switch would drop unsaved macro edits.
    void languageFileRead(const IniDocument& doc);
    void askAboutLanguage();
    void switchLanguageTo(UiLanguage language);
    // Runs work once no other program holds the files' locks, without holding up the window; a lock
    // held past its patience calls gaveUp with the line that names the file (see SaveWhenUnlocked).
    void whenUnlocked(std::vector<std::filesystem::path> files, std::function<void()> work,
                      std::function<void(const FileStatus&)> gaveUp);
    // An answer that could not take the file (another program held its lock too long): the question
    // is closed and the user told why.
    void answerGaveUp(bool& asking, const FileStatus& failure);
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
    bool m_askingLanguage = false;
    bool m_saveAfterKeep = false;
    // "CurConfig" as the file held it when the user chose to keep their profile: not asked again.
    int m_keptCurConfig = 0;
    // The language the file named when the user chose to keep their macro edits: not asked again.
    std::optional<UiLanguage> m_keptLanguage;
};

} // namespace krv
