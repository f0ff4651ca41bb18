// SPDX-License-Identifier: MIT
// The application icon drawn by the build is the one the window, the tray and the about box carry.

#include "widgets/CompanionFixture.h"

#include "ui/AboutBox.h"

#include <QDir>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTest>

using namespace krv;
using namespace krv::test;

namespace {

QImage drawnIcon(int size) {
    return QImage(QDir(QStringLiteral(KRV_BUILD_DATA_DIR))
                      .filePath(QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(ApplicationId())))
        .convertToFormat(QImage::Format_ARGB32);
}

QImage shown(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class AppIconTest : public QObject {
    Q_OBJECT
private slots:
    void windowAndTrayCarryTheDrawnIcon();
    void aboutBoxShowsTheDrawnIcon();
};

void AppIconTest::windowAndTrayCarryTheDrawnIcon() {
    CompanionFixture f;
    for (int size : {16, 32, 48, 256}) {
        const QImage expected = drawnIcon(size);
        QVERIFY2(!expected.isNull(), qPrintable(QStringLiteral("no %1 px icon drawn").arg(size)));
        QCOMPARE(shown(f.window().windowIcon(), size), expected);
        QCOMPARE(shown(f.companion->trayIcon().icon(), size), expected);
    }
}

void AppIconTest::aboutBoxShowsTheDrawnIcon() {
    AboutBox about;
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    const auto icon = std::find_if(labels.begin(), labels.end(), [](QLabel* l) { return !l->pixmap().isNull(); });
    QVERIFY(icon != labels.end());
    QCOMPARE((*icon)->pixmap().toImage().convertToFormat(QImage::Format_ARGB32), drawnIcon(32));
}

QTEST_MAIN(AppIconTest)
#include "app_icon_test.moc"
