// SPDX-License-Identifier: MIT
#include "ui/EditableListBox.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace krv;

class EditableListBoxTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        QWidget window;
        EditableListBox* list = nullptr;
        QLineEdit* other = nullptr;

        Fixture() {
            window.resize(300, 200);
            list = new EditableListBox(&window);
            list->setGeometry(0, 0, 200, 120);
            other = new QLineEdit(&window);
            other->setGeometry(0, 150, 200, 20);
            for (int i = 0; i < 40; ++i)
                list->addItem(QStringLiteral("line %1").arg(i));
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            list->setFocus();
            list->setCurrentRow(3);
        }
    };

private slots:
    void requestOpensEditOverTheSelectedLine() {
        Fixture f;
        f.list->requestEdit();
        QVERIFY(f.list->editing());
        QCOMPARE(f.list->editIndex(), 3);
        QLineEdit* edit = f.list->editor();
        QCOMPARE(edit->text(), QStringLiteral("line 3"));
        QCOMPARE(edit->selectedText(), QStringLiteral("line 3"));
        QVERIFY(edit->hasFocus());
        const QRect line = f.list->visualItemRect(f.list->item(3));
        QCOMPARE(edit->geometry(), line.adjusted(0, -2, 0, 2));
        QCOMPARE(edit->font(), f.list->font());
    }

    void onlyCtrlAOpensAnEdit() {
        Fixture f;
        QTest::keyClick(f.list, Qt::Key_X);
        QVERIFY(!f.list->editing());
        QTest::keyClick(f.list, Qt::Key_Insert);
        QVERIFY(!f.list->editing());
        const QPoint onLine = f.list->visualItemRect(f.list->currentItem()).center();
        QTest::mouseClick(f.list->viewport(), Qt::RightButton, {}, onLine);
        QVERIFY(!f.list->editing());
        f.list->setCurrentRow(3);
        QTest::keyClick(f.list, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(f.list->editing());
        QCOMPARE(f.list->editIndex(), 3);
    }

    void enterCommitsOnReleaseAndNotifies() {
        Fixture f;
        QSignalSpy changed(f.list, &EditableListBox::itemTextChanged);
        QSignalSpy finished(f.list, &EditableListBox::editFinished);
        f.list->requestEdit();
        QLineEdit* edit = f.list->editor();
        QTest::keyClicks(edit, QStringLiteral("new text"));
        QTest::keyPress(edit, Qt::Key_Return);
        QVERIFY(f.list->editing()); // the press alone does nothing
        QTest::keyRelease(edit, Qt::Key_Return);
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->editIndex(), -1);
        QCOMPARE(f.list->item(3)->text(), QStringLiteral("new text"));
        QCOMPARE(f.list->count(), 40);
        QCOMPARE(f.list->currentRow(), 3);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 3);
        QCOMPARE(changed.at(0).at(1).toString(), QStringLiteral("line 3"));
        // The focused edit's removal asks for a second close: the parent hears of the end twice.
        QCOMPARE(finished.count(), 2);
        QVERIFY(f.list->hasFocus());
    }

    void unchangedTextAndNoNotifyStyleSendOnlyTheFinishNotice() {
        Fixture f;
        QSignalSpy changed(f.list, &EditableListBox::itemTextChanged);
        QSignalSpy finished(f.list, &EditableListBox::editFinished);
        f.list->requestEdit();
        QTest::keyClick(f.list->editor(), Qt::Key_Return);
        QCOMPARE(changed.count(), 0);
        QVERIFY(finished.count() >= 1);

        f.list->setNotify(false);
        f.list->setCurrentRow(5);
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("x"));
        QTest::keyClick(f.list->editor(), Qt::Key_Return);
        QCOMPARE(f.list->item(5)->text(), QStringLiteral("x"));
        QCOMPARE(changed.count(), 0);
    }

    void escapeCancels() {
        Fixture f;
        QSignalSpy changed(f.list, &EditableListBox::itemTextChanged);
        QSignalSpy finished(f.list, &EditableListBox::editFinished);
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("typed"));
        QTest::keyClick(f.list->editor(), Qt::Key_Escape);
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->item(3)->text(), QStringLiteral("line 3"));
        QCOMPARE(changed.count(), 0);
        QVERIFY(finished.count() >= 1);
    }

    void focusLossCommits() {
        Fixture f;
        QSignalSpy finished(f.list, &EditableListBox::editFinished);
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("250"));
        f.other->setFocus();
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->item(3)->text(), QStringLiteral("250"));
        QCOMPARE(finished.count(), 1);
        QVERIFY(f.other->hasFocus());
    }

    void scrollingAndResizingCommit() {
        Fixture f;
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("scrolled"));
        f.list->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->item(3)->text(), QStringLiteral("scrolled"));

        f.list->setCurrentRow(6);
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("wheel"));
        f.list->verticalScrollBar()->setValue(0); // as a wheel turn does, without the bar's actions
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->item(6)->text(), QStringLiteral("wheel"));

        f.list->setCurrentRow(7);
        f.list->requestEdit();
        QTest::keyClicks(f.list->editor(), QStringLiteral("resized"));
        f.list->resize(180, 100);
        QVERIFY(!f.list->editing());
        QCOMPARE(f.list->item(7)->text(), QStringLiteral("resized"));
    }

    void noSelectionOpensNothingAndDestroyingTheListDropsTheEdit() {
        Fixture f;
        f.list->clearSelection();
        f.list->requestEdit();
        QVERIFY(!f.list->editing());

        f.list->setCurrentRow(2);
        f.list->requestEdit();
        QPointer<QLineEdit> edit = f.list->editor();
        QSignalSpy finished(f.list, &EditableListBox::editFinished);
        delete f.list;
        QVERIFY(edit.isNull());
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(EditableListBoxTest)
#include "EditableListBox_test.moc"
