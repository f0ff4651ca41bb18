// SPDX-License-Identifier: MIT
#include "ui/EditableListBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace krv {

InPlaceEdit::InPlaceEdit(QWidget* parent) : QLineEdit(parent) {
    // No cut/copy/paste menu: the right button belongs to the list's own menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void InPlaceEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept(); // the release does the work
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void InPlaceEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit rightButtonReleased(mapToParent(event->position().toPoint()), event->modifiers());
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void InPlaceEdit::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape end the edit on release; their presses must not reach the list.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void InPlaceEdit::keyReleaseEvent(QKeyEvent* event) {
    const int key = event->key();
    if (!event->isAutoRepeat()) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            emit endEdit(true);
        else if (key == Qt::Key_Escape)
            emit endEdit(false);
    }
    QLineEdit::keyReleaseEvent(event);
}

void InPlaceEdit::focusOutEvent(QFocusEvent* event) {
    emit endEdit(true);
    QLineEdit::focusOutEvent(event);
}

EditableListBox::EditableListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A scroll-bar action ends the edit before the list moves.
    auto endOnScroll = [this] { EndItemEdit(true); };
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, endOnScroll);
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, endOnScroll);
}

EditableListBox::~EditableListBox() {
    // An open edit goes away without committing and without notices.
    if (m_edit) {
        disconnect(m_edit.data(), nullptr, this, nullptr);
        delete m_edit.data();
    }
}

void EditableListBox::onCharacter(int code) {
    m_editRequest = code;
    BeginItemEdit();
}

void EditableListBox::BeginItemEdit() {
    if (m_editRequest != BeginEditRequest)
        return;
    m_editRequest = 0;
    const int line = currentRow();
    QListWidgetItem* it = item(line);
    if (!it || !selectionModel()->isRowSelected(line, rootIndex()))
        return;
    if (m_edit)
        EndItemEdit(true);

    auto* edit = new InPlaceEdit(viewport());
    edit->setGeometry(visualItemRect(it).adjusted(0, -2, 0, 2));
    edit->setFont(font());
    edit->setFrame(true);
    // The edit keeps the system's colours, not the list's white on black.
    const QPalette system = QApplication::palette(edit);
    QPalette look = edit->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Text, QPalette::Window, QPalette::WindowText,
                                     QPalette::Highlight, QPalette::HighlightedText})
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            look.setColor(group, role, system.color(group, role));
    edit->setPalette(look);
    connect(edit, &InPlaceEdit::endEdit, this, &EditableListBox::EndItemEdit);
    connect(edit, &InPlaceEdit::rightButtonReleased, this, [this](QPoint point, Qt::KeyboardModifiers modifiers) {
        // The edit lies on the viewport: the release goes on to it, as if it had landed on the line.
        QMouseEvent release(QEvent::MouseButtonRelease, point, viewport()->mapToGlobal(point), Qt::RightButton,
                            Qt::NoButton, modifiers);
        QCoreApplication::sendEvent(viewport(), &release);
    });
    edit->setText(it->text());
    edit->selectAll();
    edit->show();
    m_edit = edit;
    m_editIndex = line;
    edit->setFocus(Qt::OtherFocusReason);
}

void EditableListBox::EndItemEdit(bool commit) {
    if (!m_edit || m_committing)
        return;
    if (commit && m_editIndex != -1) {
        m_committing = true; // re-arranging the lines may scroll: that must not end the edit again
        const QString oldText = item(m_editIndex) ? item(m_editIndex)->text() : QString();
        const QString newText = m_edit->text();
        if (oldText != newText && item(m_editIndex)) {
            delete takeItem(m_editIndex);
            int landed = m_editIndex;
            if (isSortingEnabled()) {
                auto* added = new QListWidgetItem(newText);
                addItem(added);
                landed = row(added);
            } else {
                insertItem(m_editIndex, newText);
            }
            m_editIndex = landed;
            setCurrentRow(landed);
            if (m_notify)
                emit itemTextChanged(m_editIndex, oldText);
        }
        m_committing = false;
    }
    m_editIndex = -1;
    // Taking the focus from the edit makes it ask for a close once more: that close finds no line to
    // commit, removes the edit and notifies; this one then notifies again.
    if (m_edit->hasFocus())
        setFocus(Qt::OtherFocusReason);
    if (m_edit) {
        InPlaceEdit* edit = m_edit.data();
        m_edit.clear();
        disconnect(edit, nullptr, this, nullptr);
        edit->hide();
        edit->deleteLater(); // it may be the sender of this close
    }
    emit editFinished();
}

void EditableListBox::keyPressEvent(QKeyEvent* event) {
    // The character a key types, with Ctrl+letter as the control character 1..26.
    int code = 0;
    const int key = event->key();
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier && key >= Qt::Key_A && key <= Qt::Key_Z)
        code = key - Qt::Key_A + 1;
    else if (!event->text().isEmpty())
        code = event->text().front().unicode();
    if (code != 0)
        onCharacter(code);
    QListWidget::keyPressEvent(event);
}

void EditableListBox::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Insert)
        BeginItemEdit(); // opens nothing: no request is ever left pending
    QListWidget::keyReleaseEvent(event);
}

void EditableListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        QListWidgetItem* selected = currentItem();
        if (selected && visualItemRect(selected).contains(event->position().toPoint()))
            BeginItemEdit(); // as with Insert: a right-click finds no request
    }
    QListWidget::mouseReleaseEvent(event);
}

void EditableListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    EndItemEdit(true);
}

void EditableListBox::scrollContentsBy(int dx, int dy) {
    EndItemEdit(true);
    QListWidget::scrollContentsBy(dx, dy);
}

} // namespace krv
