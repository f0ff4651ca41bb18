// SPDX-License-Identifier: MIT
#pragma once

// A whole companion on the simulated mouse, in a folder of its own with the shipped data, with
// every dialog answered by the test.

#include "app/AppContext.h"
#include "app/Companion.h"
#include "sim/SimulatedMouse.h"
#include "ui/DialogSeam.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"
#include "fakes/ExecutorFakes.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace krv::test {

// Answers every dialog from a script and records what was asked.
class ScriptedDialogs : public DialogSeam, public MacroFileDialogs {
public:
    std::vector<QPoint> warnings;
    int warningAnswer = 1;
    QString openAnswer; // empty: Cancel
    QString saveAnswer;
    std::vector<QString> openFolders;
    std::vector<QString> messages;
    bool answerMessages = true; // false: messages stay open until closeMessages()
    std::deque<std::function<void()>> openMessages;
    int abouts = 0;

    void warning(QWidget*, QPoint origin, std::function<void(int)> done) override {
        warnings.push_back(origin);
        done(warningAnswer);
    }
    void openProfileFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        openFolders.push_back(folder);
        done(openAnswer);
    }
    void saveProfileFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        openFolders.push_back(folder);
        done(saveAnswer);
    }
    void message(QWidget*, const QString& text, std::function<void()> done) override {
        messages.push_back(text);
        if (answerMessages) {
            if (done)
                done();
        } else {
            openMessages.push_back(std::move(done));
        }
    }
    void about(QWidget*) override { ++abouts; }
    // The questions after another program changed a file: answered at once with fileChangedAnswer
    // (true: reload), or kept open until answerFileChanged() when holdFileChanged is set.
    std::vector<ChangedFile> fileChanges;
    bool fileChangedAnswer = false;
    bool holdFileChanged = false;
    std::deque<std::function<void(bool)>> openFileChanges;
    void fileChanged(QWidget*, ChangedFile file, std::function<void(bool)> done) override {
        fileChanges.push_back(file);
        if (holdFileChanged)
            openFileChanges.push_back(std::move(done));
        else
            done(fileChangedAnswer);
    }
    void answerFileChanged(bool reload) {
        while (!openFileChanges.empty()) {
            auto done = std::move(openFileChanges.front());
            openFileChanges.pop_front();
            done(reload);
        }
    }
    QString macroFileAnswer; // the macro exchange file chosen in either dialog; empty: Cancel
    void openMacroFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        openFolders.push_back(folder);
        done(macroFileAnswer);
    }
    void saveMacroFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        openFolders.push_back(folder);
        done(macroFileAnswer);
    }
    void closeMessages() {
        while (!openMessages.empty()) {
            auto done = std::move(openMessages.front());
            openMessages.pop_front();
            if (done)
                done();
        }
    }
};

// Copies the shipped data (config.ini, the macro files, the skin folder) into a fresh folder.
inline bool CopyTree(const QString& from, const QString& to) {
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir()) {
            if (!CopyTree(entry.filePath(), target))
                return false;
        } else if (!QFile::copy(entry.filePath(), target)) {
            return false;
        }
    }
    return true;
}

struct CompanionFixture {
    QTemporaryDir folder;
    SimulatedMouse* mouse = nullptr;
    MemorySystemPointer* pointer = nullptr;
    RecordingInjector* injector = nullptr; // what the program types and clicks
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<Companion> companion;
    std::vector<int> endings;

    // setup runs on the fresh folder and the simulated mouse before the companion starts.
    explicit CompanionFixture(const std::function<void(const QString&, SimulatedMouse&)>& setup = {}, bool start = true,
                              bool watchPower = false, const std::function<void(Companion::Options&)>& tweak = {},
                              const std::function<void(AppPorts&)>& tweakPorts = {}) {
        const QString bin = QStringLiteral(KRV_BUILD_DATA_DIR);
        const QString shipped = QStringLiteral(KRV_SHIPPED_DATA_DIR);
        QFile::copy(shipped + "/config.ini", folder.filePath("config.ini"));
        QFile::copy(shipped + "/Macro_EN.dat", folder.filePath("Macro_EN.dat"));
        QFile::copy(shipped + "/Macro_CN.dat", folder.filePath("Macro_CN.dat"));
        CopyTree(bin + "/skins", folder.filePath("skins"));
        auto sim = std::make_unique<SimulatedMouse>();
        mouse = sim.get();
        auto memory = std::make_unique<MemorySystemPointer>();
        pointer = memory.get();
        if (setup)
            setup(folder.path(), *mouse);
        AppPorts ports;
        ports.hid = std::move(sim);
        ports.pointer = std::move(memory);
        auto recording = std::make_unique<RecordingInjector>();
        injector = recording.get();
        ports.injector = std::move(recording);
        // Recording takes the keys the window itself receives, as offscreen (where ctest runs these
        // tests) and on Wayland, also when a test is run by hand on an X server: the keys a test types
        // are Qt events for the window, which never pass the X server and so never reach a whole-keyboard
        // X11 grab. The grab has tests of its own under tests/x11.
        ports.openKeyboardCapture = [](KeyHandler, std::function<void()>) -> std::unique_ptr<KeyboardCapture> {
            return nullptr;
        };
        if (tweakPorts)
            tweakPorts(ports);
        context = std::make_unique<AppContext>(folder.path().toStdString(), std::move(ports));
        Companion::Options options;
        options.dialogs = &dialogs;
        options.macroDialogs = &dialogs;
        options.watchHotplug = false;
        options.watchPower = watchPower;
        if (tweak)
            tweak(options);
        companion = std::make_unique<Companion>(*context, options);
        QObject::connect(companion.get(), &Companion::ended, companion.get(),
                         [this](int status) { endings.push_back(status); });
        if (start)
            companion->start();
    }
    ~CompanionFixture() {
        companion.reset();
        context.reset();
#ifdef Q_OS_WIN
        // Windows keeps the file of a loaded font open, and an open file cannot be removed: the
        // skin's fonts are let go, so that the folder goes with the fixture (else every fixture
        // leaves its 17 MB of fonts in the temporary folder).
        QFontDatabase::removeAllApplicationFonts();
#endif
    }
    CompanionFixture(const CompanionFixture&) = delete;
    CompanionFixture& operator=(const CompanionFixture&) = delete;

    MainWindow& window() { return companion->window(); }
    MainWindowController& controller() { return companion->controller(); }
    ProfileSettings& settings() { return context->settings; }
    QString configPath() const { return folder.filePath("config.ini"); }

    const SkinElement& mainElement(int i) { return window().skin().mainLayout[static_cast<std::size_t>(i)]; }
    const SkinElement& advancedElement(int i) { return window().skin().advancedLayout[static_cast<std::size_t>(i)]; }
    const SkinElement& colorElement(int i) { return window().skin().colorLayout[static_cast<std::size_t>(i)]; }
    static QPoint center(const SkinElement& e) { return {e.x + e.width / 2, e.y + e.height / 2}; }

    void moveTo(QPoint p) { controller().mouseMove(p); }
    void press(QPoint p) { QTest::mousePress(&window(), Qt::LeftButton, {}, p); }
    void release(QPoint p) { QTest::mouseRelease(&window(), Qt::LeftButton, {}, p); }
    void click(QPoint p) {
        moveTo(p);
        press(p);
        release(p);
    }
    void clickMain(int i) { click(center(mainElement(i))); }
    void clickAdvanced(int i) { click(center(advancedElement(i))); }
    void clickColor(int i) { click(center(colorElement(i))); }
    void showPage(SkinPage page) { controller().showPage(page); }

    std::size_t reportsSent() const { return mouse->state().featureReports.size(); }

    // A point of the shaped window that is no element of the main page.
    QPoint freePoint() {
        for (int y = 0; y < window().height(); y += 3)
            for (int x = 0; x < window().width(); x += 3)
                if (window().skin().mainLayout.hitTest(x, y, MainLastHitOnMainPage) == NoHit &&
                    window().shape().contains(QPoint(x, y)))
                    return {x, y};
        return {-1, -1};
    }
};

} // namespace krv::test
