// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

namespace krv {

// The in-place edit of EditableListBox. Enter and Escape act on key release, so that they work even
// where the main window swallows their key presses; losing the focus commits. The right button is
// the list's: the edit has no menu of its own and hands the right-button release to the list.
class InPlaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit InPlaceEdit(QWidget* parent);

signals:
    // Asks the list box to close the edit, keeping the typed text when commit is true.
    void endEdit(bool commit);
    // The right button was released over the edit, at `parentPoint` of the edit's parent.
    void rightButtonReleased(QPoint parentPoint, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A list whose selected line can be edited in place. An edit opens only on the request character
// (code 1: Ctrl+A typed while the list has the focus, or requestEdit() from the parent), lies over the
// line grown by 2 pixels up and down with the whole text selected, and closes on Enter (commit),
// Escape (cancel), focus loss, resizing or scrolling (commit). Every close emits editFinished, and
// closing an edit that holds the focus emits it twice (the focus leaving the edit asks for a second,
// empty close): receivers must give the same result when run twice. A right-button release over the
// open edit reaches the list's viewport as if the edit were not there (where the list's owner shows
// its context menu).
class EditableListBox : public QListWidget {
    Q_OBJECT
public:
    static constexpr int BeginEditRequest = 1;

    explicit EditableListBox(QWidget* parent = nullptr);
    ~EditableListBox() override;

    // Sends the request character, as the parent does to open an edit on the selected line.
    void requestEdit() { onCharacter(BeginEditRequest); }
    // Opens the edit when the request is pending.
    void BeginItemEdit();
    // Closes the edit, writing its text into the line when commit is true.
    void EndItemEdit(bool commit);

    // Whether a committed change is announced with itemChanged (on by default).
    void setNotify(bool notify) { m_notify = notify; }
    bool notify() const { return m_notify; }

    bool editing() const { return !m_edit.isNull(); }
    int editIndex() const { return m_editIndex; }
    InPlaceEdit* editor() const { return m_edit.data(); }

signals:
    // A committed edit changed the line's text; the line is now at `index`.
    void itemTextChanged(int index, const QString& oldText);
    // An edit has closed, committed or not.
    void editFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void onCharacter(int code);

    QPointer<InPlaceEdit> m_edit;
    int m_editIndex = -1;
    int m_editRequest = 0;
    bool m_notify = true;
    bool m_committing = false;
};

} // namespace krv
