// SPDX-License-Identifier: MIT
// A small Wayland program for the focus checks: one window whose app id is APP_ID (Qt gives the
// desktop file name as the app id); it prints "shown" once the compositor shows the window and runs
// until it is ended.
//   toplevel_client APP_ID
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Window : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan); }
    void exposeEvent(QExposeEvent* event) override {
        QRasterWindow::exposeEvent(event);
        if (isExposed() && !m_said) {
            m_said = true;
            std::printf("shown\n");
            std::fflush(stdout);
        }
    }

private:
    bool m_said = false;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: toplevel_client APP_ID\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    Window window;
    window.resize(200, 150);
    window.show();
    return app.exec();
}
