// SPDX-License-Identifier: MIT
// The demo under a headless Wayland compositor (weston) on Qt's wayland platform, as the compositor
// shows it: the demo saves its pages and the virtual mouse as it draws them and keeps running; weston's
// own screenshot of its output must then hold the whole main window and, beside it, the whole virtual
// mouse, with weston's background showing outside the main window's outline and between the two.
// Every wait is on an event (the compositor's socket appearing, a line from the demo, a process
// ending), each with a bound far above what a loaded machine needs.
#include "app/VirtualMouseWindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto StartBound = 30s;      // weston listening, a screenshot taken, the demo ended
constexpr auto DemoShownBound = 90s;  // the demo's own bound on its start is a minute
constexpr QRgb Background = 0x2a3b4c; // weston's background colour in the configuration below
const QSize Output(1280, 1024);

int ms(std::chrono::milliseconds bound) { return static_cast<int>(bound.count()); }

QString tail(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("(no %1)").arg(file);
    const QByteArray all = f.readAll();
    return QString::fromUtf8(all.right(4000));
}

// A headless weston with its own runtime folder, a plain background and no panel, its screen drawn
// in memory (pixman) so that weston-screenshooter can read it back (the debug protocol allows that).
class Weston {
public:
    Weston() {
        QFile ini(m_runtime.filePath(QStringLiteral("weston.ini")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write("[shell]\n"
                      "background-image=/nonexistent\n"
                      "background-color=0xff2a3b4c\n"
                      "panel-position=none\n"
                      "locking=false\n"
                      "animation=none\n"
                      "startup-animation=none\n");
        }
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(logPath());
        m_process.setStandardErrorFile(logPath(), QIODevice::Append);
        m_process.start(QStringLiteral("weston"),
                        {QStringLiteral("--config=") + ini.fileName(), QStringLiteral("--backend=headless-backend.so"),
                         QStringLiteral("--use-pixman"), QStringLiteral("--debug"),
                         QStringLiteral("--socket=") + SocketName, QStringLiteral("--width=%1").arg(Output.width()),
                         QStringLiteral("--height=%1").arg(Output.height()), QStringLiteral("--idle-time=0")});
    }
    ~Weston() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(ms(StartBound)))
            m_process.kill();
        m_process.waitForFinished(ms(StartBound));
    }

    // Waits for the socket: weston listens once it is there.
    bool waitUntilListening() {
        if (!m_process.waitForStarted(ms(StartBound)))
            return false;
        const QString socket = m_runtime.filePath(SocketName);
        QFileSystemWatcher watcher({m_runtime.path()});
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
            if (QFile::exists(socket))
                loop.quit();
        });
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (!QFile::exists(socket) && m_process.state() != QProcess::NotRunning) {
            bound.start(ms(StartBound));
            loop.exec();
        }
        return QFile::exists(socket) && m_process.state() == QProcess::Running;
    }

    // The environment of a client of this weston.
    QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), SocketName);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return env;
    }

    // weston's picture of its whole output, or a null image.
    QImage screenshot(QString* problem) {
        QTemporaryDir folder;
        QProcess shooter;
        shooter.setProcessEnvironment(clientEnvironment());
        shooter.setWorkingDirectory(folder.path());
        shooter.setProcessChannelMode(QProcess::MergedChannels);
        shooter.start(QStringLiteral("weston-screenshooter"), {});
        if (!shooter.waitForFinished(ms(StartBound)) || shooter.exitCode() != 0) {
            *problem = QStringLiteral("weston-screenshooter failed: ") + QString::fromUtf8(shooter.readAll());
            shooter.kill();
            return {};
        }
        const QStringList shots = QDir(folder.path()).entryList({QStringLiteral("wayland-screenshot-*.png")});
        if (shots.size() != 1) {
            *problem = QStringLiteral("weston-screenshooter saved %1 pictures").arg(shots.size());
            return {};
        }
        return QImage(folder.filePath(shots.front())).convertToFormat(QImage::Format_RGB32);
    }

    QString logPath() const { return m_runtime.filePath(QStringLiteral("weston.log")); }

private:
    static constexpr const char* SocketName = "wayland-krv-test";
    QTemporaryDir m_runtime;
    QProcess m_process;
};

// Where `picture` stands whole on `screen`: the one place where every opaque pixel of it is the
// screen's, if there is exactly one.
std::optional<QPoint> placeOf(const QImage& picture, const QImage& screen) {
    std::vector<QPoint> opaque;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) == 255)
                opaque.emplace_back(x, y);
    if (opaque.empty())
        return std::nullopt;
    // A few pixels spread over the picture rule out most places at once.
    std::vector<QPoint> probes;
    for (std::size_t i = 0; i < opaque.size(); i += opaque.size() / 64 + 1)
        probes.push_back(opaque[i]);
    auto matchesAt = [&](const std::vector<QPoint>& pixels, int dx, int dy) {
        for (const QPoint& p : pixels)
            if ((picture.pixel(p) & 0xffffff) != (screen.pixel(p.x() + dx, p.y() + dy) & 0xffffff))
                return false;
        return true;
    };
    std::vector<QPoint> found;
    for (int dy = 0; dy + picture.height() <= screen.height(); ++dy)
        for (int dx = 0; dx + picture.width() <= screen.width(); ++dx)
            if (matchesAt(probes, dx, dy) && matchesAt(opaque, dx, dy))
                found.emplace_back(dx, dy);
    if (found.size() != 1)
        return std::nullopt;
    return found.front();
}

// The pixels of `area` on `screen` that are not the background, where `covered` (in screen
// coordinates) says which pixels something may cover.
int pixelsNotBackground(const QImage& screen, const QRect& area, const std::function<bool(QPoint)>& covered) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!covered({x, y}) && (screen.pixel(x, y) & 0xffffff) != Background)
                ++count;
    return count;
}

TEST(DemoUnderWeston, ShowsTheVirtualMouseWholeBesideTheWholeMainWindow) {
    Weston weston;
    ASSERT_TRUE(weston.waitUntilListening()) << "weston did not start:\n" << tail(weston.logPath()).toStdString();

    QTemporaryDir shots;
    QProcess demo;
    QProcessEnvironment env = weston.clientEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    // Qt's wayland plugin and libwayland-client keep allocations to the end of the process (some in a
    // plugin unloaded by then, which no suppression can name): no leak check for the demo here.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("detect_leaks=0"));
    demo.setProcessEnvironment(env);
    demo.start(QStringLiteral(KRV_BUILD_DATA_DIR "/krv-glyde-demo"),
               {QStringLiteral("--screenshots"), shots.path(), QStringLiteral("--keep-running")});
    // "running": the compositor shows the windows as the demo saved them.
    QByteArray out;
    const QDeadlineTimer shownBound(DemoShownBound);
    while (!out.contains("running\n") && !shownBound.hasExpired() &&
           demo.waitForReadyRead(static_cast<int>(shownBound.remainingTime())))
        out += demo.readAllStandardOutput();
    ASSERT_TRUE(out.contains("running\n")) << "the demo did not come up; its output:\n"
                                           << out.toStdString() << demo.readAllStandardError().toStdString();

    QString problem;
    const QImage screen = weston.screenshot(&problem);
    demo.terminate();
    const bool ended = demo.waitForFinished(ms(StartBound));
    if (!ended)
        demo.kill();
    ASSERT_FALSE(screen.isNull()) << problem.toStdString();
    screen.save(QStringLiteral(KRV_WAYLAND_RESULT_DIR "/demo_under_weston.png"));
    EXPECT_TRUE(ended && demo.exitStatus() == QProcess::NormalExit && demo.exitCode() == 0)
        << "the demo did not end on SIGTERM with status 0: " << demo.readAllStandardError().toStdString();
    ASSERT_EQ(screen.size(), Output);

    // The pages as the demo draws them, at the skin's size.
    for (const char* page : {"main", "advanced", "color"}) {
        const QImage drawn(shots.filePath(QStringLiteral("krv-glyde-%1.png").arg(QLatin1String(page))));
        EXPECT_EQ(drawn.size(), QSize(840, 560)) << page;
    }
    const QImage main = QImage(shots.filePath(QStringLiteral("krv-glyde-main.png"))).convertToFormat(QImage::Format_ARGB32);
    const QImage mouse =
        QImage(shots.filePath(QStringLiteral("krv-glyde-virtual-mouse.png"))).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(main.isNull());
    ASSERT_FALSE(mouse.isNull());

    // Both whole on the screen (nothing covers either), the virtual mouse to the right of the main
    // window or below it, the gap apart, edges aligned.
    const std::optional<QPoint> mainAt = placeOf(main, screen);
    const std::optional<QPoint> mouseAt = placeOf(mouse, screen);
    ASSERT_TRUE(mainAt) << "the main window is not whole on the screen (see " KRV_WAYLAND_RESULT_DIR
                           "/demo_under_weston.png)";
    ASSERT_TRUE(mouseAt) << "the virtual mouse is not whole on the screen";
    const QRect mainRect(*mainAt, main.size()), mouseRect(*mouseAt, mouse.size());
    constexpr int gap = krv::SideBySideWindow::Gap;
    const bool right = mouseRect.left() == mainRect.right() + 1 + gap && mouseRect.top() == mainRect.top();
    const bool below = mouseRect.top() == mainRect.bottom() + 1 + gap && mouseRect.left() == mainRect.left();
    EXPECT_TRUE(right || below) << "main window at " << mainAt->x() << "," << mainAt->y() << ", virtual mouse at "
                                << mouseAt->x() << "," << mouseAt->y();

    // The main window is see-through outside its outline, and nothing stands between the two.
    const auto insideMain = [&](QPoint p) { return qAlpha(main.pixel(p - mainRect.topLeft())) != 0; };
    EXPECT_EQ(pixelsNotBackground(screen, mainRect, insideMain), 0) << "outside the main window's outline";
    const QRect between = right ? QRect(mainRect.right() + 1, mouseRect.top(), gap, mouseRect.height())
                                : QRect(mouseRect.left(), mainRect.bottom() + 1, mouseRect.width(), gap);
    EXPECT_EQ(pixelsNotBackground(screen, between, [&](QPoint p) { return mainRect.contains(p) && insideMain(p); }), 0)
        << "between the main window and the virtual mouse";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
