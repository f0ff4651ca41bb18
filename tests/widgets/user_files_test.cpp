// SPDX-License-Identifier: MIT
// The companion and the user's files: a config.ini that cannot be read is said in a message, nothing
// is sent to the mouse from it and it is not saved over; an APPLY whose save does not reach the disk
// is said in a message too, and a save that meets another program's lock waits for it without
// freezing the window.
#include "widgets/CompanionFixture.h"

#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "skin/SkinImages.h"
#include "unit/RequireOk.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <chrono>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace krv;
using namespace krv::test;

namespace {

// Whether the window draws an element of the main page with the pressed image (most of its pixels).
bool drawnPressed(CompanionFixture& f, int element) {
    const QImage shot = f.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage down = f.window().images().image(SkinImageName::MainDown).convertToFormat(QImage::Format_RGB32);
    const QImage normal = f.window().images().image(SkinImageName::MainNormal).convertToFormat(QImage::Format_RGB32);
    const SkinElement& e = f.mainElement(element);
    int downs = 0, normals = 0;
    for (int y = e.y; y < e.y + e.height; ++y)
        for (int x = e.x; x < e.x + e.width; ++x) {
            downs += shot.pixel(x, y) == down.pixel(x, y) ? 1 : 0;
            normals += shot.pixel(x, y) == normal.pixel(x, y) ? 1 : 0;
        }
    return downs > normals;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Holds config.ini's lock as another process of the program does while it saves: flock on the
// lock file beside it (a lock of its own open file, so this process's saves wait for it too).
class HeldLock {
public:
    explicit HeldLock(const QString& folder)
        : m_fd(
              ::open(QFile::encodeName(folder + "/.config.ini.lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        m_held = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~HeldLock() { release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool held() const { return m_held; }
    void release() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_held = false;
    }

private:
    int m_fd;
    bool m_held = false;
};

// Sees every opening of one file of a folder from the moment it is made: another thread of the
// program reaching for config.ini's lock file, say.
class OpeningsOf {
public:
    OpeningsOf(const QString& folder, const QString& name)
        : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)), m_name(QFile::encodeName(name)) {
        m_watching = m_fd >= 0 && ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN) >= 0;
    }
    ~OpeningsOf() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpeningsOf(const OpeningsOf&) = delete;
    OpeningsOf& operator=(const OpeningsOf&) = delete;

    // True once the file has been opened (within the limit).
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_watching) {
            alignas(inotify_event) char buffer[4096];
            for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
                for (char* at = buffer; at < buffer + n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    if (event->len > 0 && m_name == event->name)
                        return true;
                    at += sizeof(inotify_event) + event->len;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
        }
        return false;
    }

private:
    int m_fd;
    QByteArray m_name;
    bool m_watching = false;
};

} // namespace

class UserFilesTest : public QObject {
    Q_OBJECT
private slots:
    void anUnreadableConfigIsSaidAndNeitherAppliedNorReplaced() {
        CompanionFixture f([](const QString& folder, SimulatedMouse&) {
            QFile::remove(folder + "/config.ini");
            QDir(folder).mkdir("config.ini");
        });
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
        // No profile is lit, and APPLY, not pressed, is not drawn as if it were.
        QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
        QVERIFY(!drawnPressed(f, MainElement::Apply));
        for (int tab = MainElement::ProfileTabFirst; tab < MainElement::ProfileTabFirst + ProfileCount; ++tab)
            QVERIFY(!drawnPressed(f, tab));
        const QString message = f.dialogs.messages[0];
        QVERIFY2(message.contains("config.ini: is a folder, not a file"), qPrintable(message));
        QVERIFY2(message.contains("nothing was loaded from it") || message.contains("未从中读取"), qPrintable(message));
        // The start-up apply would have followed 5 ms after the scan; give it ample time to show.
        QTest::qWait(200);
        QCOMPARE(f.reportsSent(), std::size_t{0});
        // APPLY with the zeros read instead: no slot holds the left click, so nothing is sent.
        f.clickMain(MainElement::Apply);
        QCOMPARE(f.reportsSent(), std::size_t{0});
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{2});
        QVERIFY(QFileInfo(f.configPath()).isDir());
    }

    // Every start-up message waits for the one before it; the missing mouse's, whose OK ends the
    // program, comes after the others have been read.
    void startUpMessagesComeOneAtATimeAndTheMissingMouseLast() {
        CompanionFixture f(
            [](const QString& folder, SimulatedMouse& mouse) {
                QFile::remove(folder + "/config.ini");
                QDir(folder).mkdir("config.ini");
                for (const char* name : {"/Macro_EN.dat", "/Macro_CN.dat"}) {
                    QFile::remove(folder + name);
                    QDir(folder).mkdir(folder + name);
                }
                mouse.unplug();
            },
            false);
        f.dialogs.answerMessages = false;
        f.companion->start();
        auto readOne = [&] {
            QVERIFY(!f.dialogs.openMessages.empty());
            auto done = std::move(f.dialogs.openMessages.front());
            f.dialogs.openMessages.pop_front();
            done();
        };
        // The start-up shows its messages before it returns: what is open now is all there is.
        QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
        QVERIFY2(f.dialogs.messages[0].contains("config.ini"), qPrintable(f.dialogs.messages[0]));
        readOne();
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{2});
        QVERIFY2(f.dialogs.messages[1].contains("Macro_"), qPrintable(f.dialogs.messages[1]));
        QVERIFY(f.endings.empty());
        readOne();
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{3});
        QCOMPARE(f.dialogs.messages[2], Companion::MissingMouseMessage(f.context->language));
        QVERIFY(f.endings.empty());
        readOne();
        QTRY_COMPARE(f.endings, std::vector<int>{0});
        QVERIFY(QFileInfo(f.configPath()).isDir());
    }

    void anApplyWhoseSaveFailsIsSaid() {
        CompanionFixture f;
        QTRY_VERIFY(f.reportsSent() >= 11);
        QFile::setPermissions(f.configPath(), QFile::ReadOwner | QFile::ReadGroup);
        QFile file(f.configPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        f.clickMain(MainElement::WheelFirst + 1);
        f.clickMain(MainElement::Apply);
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
        QVERIFY2(f.dialogs.messages[0].startsWith("The settings did not reach the disk."),
                 qPrintable(f.dialogs.messages[0]));
        QVERIFY(f.dialogs.messages[0].contains("is read-only"));
        QFile again(f.configPath());
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), before);
        QCOMPARE(f.mouse->state().wheelOption, std::uint8_t{1}); // the mouse has the change all the same
    }

    // While another program holds config.ini's lock, APPLY waits for it without freezing the window:
    // a page tab clicked meanwhile is handled and drawn, and once the lock goes the save lands.
    void anApplyWaitsForAnotherProgramsLockWithoutFreezingTheWindow() {
        CompanionFixture f;
        QTRY_VERIFY(f.reportsSent() >= 11);
        const QByteArray before = bytesOf(f.configPath());
        QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Config1", "WHEEL_STATUS"), std::string("0"));
        HeldLock lock(f.folder.path());
        QVERIFY(lock.held());
        f.clickMain(MainElement::WheelFirst + 1);
        // A window that waited for the lock would come back from this click only when it gave up, with
        // the failure said (a message) and the change lost.
        f.clickMain(MainElement::Apply);
        QVERIFY(f.dialogs.messages.empty());
        QCOMPARE(bytesOf(f.configPath()), before);
        f.clickMain(MainElement::PageTabFirst + 1);
        QCOMPARE(f.window().viewState().page, SkinPage::Advanced);
        const QImage advanced = f.window().grab().toImage();
        f.clickMain(MainElement::PageTabFirst);
        QCOMPARE(f.window().viewState().page, SkinPage::Main);
        QVERIFY(f.window().grab().toImage() != advanced);
        QTest::qWait(100); // the retries run meanwhile and find the lock held
        QCOMPARE(bytesOf(f.configPath()), before);
        QVERIFY(f.dialogs.messages.empty());
        lock.release();
        QTRY_COMPARE(IniFile::readString(f.configPath().toStdString(), "Config1", "WHEEL_STATUS"), std::string("1"));
        QTRY_COMPARE(f.mouse->state().wheelOption, std::uint8_t{1});
        QVERIFY(f.dialogs.messages.empty());
    }

    // The profile-switch button pressed while another program saves config.ini: the switch waits for
    // that save and then takes the next profile as the save left it, read under the same hold of the
    // lock as its own save. It never sends or writes back a copy read before the other save landed.
    // The interleaving is forced: the other program holds the lock until the switch reaches for it,
    // then changes profile 2 and lets go.
    void aProfileSwitchTakesTheNextProfileAsAnotherSaveLeftIt() {
        CompanionFixture f([](const QString& folder, SimulatedMouse&) {
            // Button 8 of profile 1 switches profiles.
            requireOk(IniFile::writeString((folder + "/config.ini").toStdString(), "Config1", "K8", "40"));
        });
        QTRY_VERIFY(f.reportsSent() >= 11);
        QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
        const std::string config = f.configPath().toStdString();
        QCOMPARE(IniFile::readString(config, "Config2", "K6"), std::string("6"));
        const ButtonCode imported = 5;
        QVERIFY(DeviceValue(imported) != DeviceValue(6));
        const std::size_t sent = f.reportsSent();

        HeldLock other(f.folder.path());
        QVERIFY(other.held());
        OpeningsOf lockFile(f.folder.path(), QStringLiteral(".config.ini.lock"));
        f.mouse->press(DeviceButtonId[7]);
        f.mouse->release();
        QVERIFY2(lockFile.wait(), "the switch never reached for the lock");
        // The other program's save: profile 2's button 6 becomes "forward", config.ini replaced whole.
        const std::filesystem::path incoming = f.folder.filePath("incoming").toStdString();
        std::filesystem::create_directory(incoming);
        std::filesystem::copy_file(config, incoming / "config.ini");
        requireOk(IniFile::writeString(incoming / "config.ini", "Config2", "K6", std::to_string(imported)));
        std::filesystem::rename(incoming / "config.ini", config);
        other.release();

        QTRY_VERIFY(f.reportsSent() >= sent + 11);
        QTRY_COMPARE(f.settings().currentProfile.load(), 2);
        QCOMPARE(f.settings().buttonCodes[5].load(), imported); // the window shows it
        QCOMPARE(f.mouse->state().buttonMap[DeviceButtonId[5]], *DeviceValue(imported));
        QTRY_COMPARE(IniFile::readString(config, "Config6", "K6"), std::to_string(imported));
        QCOMPARE(IniFile::readString(config, "Config2", "K6"), std::to_string(imported));
        QCOMPARE(IniFile::readString(config, "Init", "CurConfig"), std::string("2"));
        QVERIFY(f.dialogs.messages.empty());
    }

    // A lock held past the save's patience ends the wait with a message; the file stays as it was.
    void anApplyGivesUpOnALockHeldTooLongWithAMessage() {
        CompanionFixture f;
        QTRY_VERIFY(f.reportsSent() >= 11);
        const QByteArray before = bytesOf(f.configPath());
        HeldLock lock(f.folder.path());
        QVERIFY(lock.held());
        f.clickMain(MainElement::WheelFirst + 1);
        f.clickMain(MainElement::Apply);
        f.clickMain(MainElement::PageTabFirst + 1);
        QCOMPARE(f.window().viewState().page, SkinPage::Advanced);
        constexpr int patienceMs =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(IniFile::LockPatience).count());
        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.messages.size(), std::size_t{1}, patienceMs + 10000);
        QVERIFY2(f.dialogs.messages[0].startsWith("The settings did not reach the disk."),
                 qPrintable(f.dialogs.messages[0]));
        QVERIFY2(f.dialogs.messages[0].contains("locked for too long"), qPrintable(f.dialogs.messages[0]));
        QCOMPARE(bytesOf(f.configPath()), before);
        lock.release();
        QTest::qWait(100);
        QCOMPARE(bytesOf(f.configPath()), before); // the dropped save does not come back later
    }
};

QTEST_MAIN(UserFilesTest)
#include "user_files_test.moc"
