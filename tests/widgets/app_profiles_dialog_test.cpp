// SPDX-License-Identifier: MIT
// "Profiles for programs…" from the tray menu: the dialog driven by clicks and keys, checked in the
// rules file it writes, in both languages, and left alone when the file cannot be read.
#include "widgets/CompanionFixture.h"

#include "settings/AppProfileRules.h"
#include "ui/AppProfilesDialog.h"
#include "ui/KrvMenu.h"
#include "unit/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace krv {

using test::CompanionFixture;

class AppProfilesDialogTest : public QObject {
    Q_OBJECT
private slots:
    void rulesAreAddedChosenAndRemovedByClicks();
    void chineseTexts();
    void anUnreadableFileIsShownNotChanged();
};

namespace {

// Opens the dialog the way the user does: the tray menu, its item clicked.
AppProfilesDialog* openFromTray(CompanionFixture& f) {
    QMenu* menu = f.companion->trayMenu().menu();
    QAction* item = f.companion->trayMenu().action(MenuCommand::AppProfiles);
    if (!menu || !item)
        return nullptr;
    menu->popup(QPoint(100, 100));
    if (!QTest::qWaitForWindowExposed(menu))
        return nullptr;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    auto* dialog = qobject_cast<AppProfilesDialog*>(f.companion->appProfilesDialog());
    if (dialog && !QTest::qWaitForWindowExposed(dialog))
        return nullptr;
    return dialog;
}

std::string rulesText(CompanionFixture& f) { return test::readFile(f.context->paths.appProfilesPath()); }

void chooseByKeys(QComboBox* box, int index) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(box, Qt::Key_Down);
}

} // namespace

void AppProfilesDialogTest::rulesAreAddedChosenAndRemovedByClicks() {
    CompanionFixture f;
    AppProfilesDialog* d = openFromTray(f);
    QVERIFY(d);
    QCOMPARE(d->windowTitle(), QStringLiteral("Profiles for programs"));
    QVERIFY(d->enabledBox()->isChecked());
    QCOMPARE(d->ruleList()->count(), 0);
    QVERIFY(!d->addButton()->isEnabled());

    // By name: typed, profile 3 chosen, Add.
    QTest::keyClicks(d->programEdit(), QStringLiteral("steam"));
    chooseByKeys(d->profileChooser(), 2);
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QCOMPARE(rulesText(f), std::string("[Programs]\r\nsteam=3\r\n"));
    QCOMPARE(d->ruleList()->count(), 1);
    QCOMPARE(d->ruleList()->item(0)->text(), QStringLiteral("steam  →  Profile 3"));
    QVERIFY(d->programEdit()->text().isEmpty());

    // From the running programs: this test program is one of them.
    QComboBox* running = d->runningChooser();
    const int self = running->findData(QStringLiteral("widget_app_profiles_dialog_test"));
    QVERIFY(self > 0);
    running->setFocus();
    QTest::keyClick(running, Qt::Key_Home);
    for (int i = 0; i < self; ++i)
        QTest::keyClick(running, Qt::Key_Down);
    QTest::keyClick(running, Qt::Key_Space); // opens the list on the chosen row
    QTRY_VERIFY(running->view()->isVisible());
    QTest::keyClick(running->view(), Qt::Key_Return);
    QCOMPARE(d->programEdit()->text(), QStringLiteral("widget_app_profiles_dialog_test"));
    chooseByKeys(d->profileChooser(), 0);
    QTest::keyClick(d->programEdit(), Qt::Key_Return);
    QCOMPARE(rulesText(f), std::string("[Programs]\r\nsteam=3\r\nwidget_app_profiles_dialog_test=1\r\n"));

    // A name the file cannot hold is refused with a reason, and the file stays.
    QTest::keyClicks(d->programEdit(), QStringLiteral("a=b"));
    QTest::mouseClick(d->addButton(), Qt::LeftButton);
    QVERIFY(d->problemLabel()->text().contains(QStringLiteral("'='")));
    QCOMPARE(d->ruleList()->count(), 2);

    // The no-match choice and the switch.
    chooseByKeys(d->noMatchChooser(), 4);
    // The box itself, at the left of its line.
    QTest::mouseClick(d->enabledBox(), Qt::LeftButton, {}, QPoint(8, d->enabledBox()->height() / 2));
    QCOMPARE(ReadAppProfileRules(f.context->paths.appProfilesPath()).rules.noMatchProfile, 4);
    QVERIFY(!ReadAppProfileRules(f.context->paths.appProfilesPath()).rules.enabled);

    // A rule chosen in the list, Remove.
    QVERIFY(!d->removeButton()->isEnabled());
    QListWidget* list = d->ruleList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(d->removeButton(), Qt::LeftButton);
    const AppProfileRules left = ReadAppProfileRules(f.context->paths.appProfilesPath()).rules;
    QCOMPARE(left.rules.size(), std::size_t{1});
    QCOMPARE(left.rules[0].program, std::string("widget_app_profiles_dialog_test"));
    QCOMPARE(d->ruleList()->count(), 1);

    const QString shots = QString::fromLocal8Bit(qgetenv("KRV_SCREENSHOTS"));
    if (!shots.isEmpty())
        d->grab().save(shots + QStringLiteral("/app-profiles-dialog-en.png"));
    // A second click on the tray item raises the same dialog.
    QCOMPARE(openFromTray(f), d);
}

void AppProfilesDialogTest::chineseTexts() {
    CompanionFixture f;
    f.clickMain(MainElement::Chinese);
    test::writeFile(f.context->paths.appProfilesPath(), "[Programs]\r\nsteam=2\r\n[Options]\r\nNoMatch=1\r\n");
    AppProfilesDialog* d = openFromTray(f);
    QVERIFY(d);
    QCOMPARE(d->windowTitle(), QStringLiteral("程序配置"));
    QCOMPARE(d->ruleList()->item(0)->text(), QStringLiteral("steam  →  配置2"));
    QCOMPARE(d->noMatchChooser()->currentText(), QStringLiteral("配置1"));
    QCOMPARE(d->addButton()->text(), QStringLiteral("添加"));
    const QString shots = QString::fromLocal8Bit(qgetenv("KRV_SCREENSHOTS"));
    if (!shots.isEmpty())
        d->grab().save(shots + QStringLiteral("/app-profiles-dialog-cn.png"));
}

void AppProfilesDialogTest::anUnreadableFileIsShownNotChanged() {
    CompanionFixture f;
    std::filesystem::create_directory(f.context->paths.appProfilesPath());
    AppProfilesDialog* d = openFromTray(f);
    QVERIFY(d);
    QVERIFY(d->problemLabel()->text().contains(QStringLiteral("appprofiles.ini")));
    QVERIFY(!d->programEdit()->isEnabled());
    QVERIFY(!d->addButton()->isEnabled());
    QVERIFY(std::filesystem::is_directory(f.context->paths.appProfilesPath()));
}

} // namespace krv

QTEST_MAIN(krv::AppProfilesDialogTest)
#include "app_profiles_dialog_test.moc"
