#include "messagelist/EntryBox.h"

#include "messagelist/MessageListFormat.h"
#include "platform/TextTrim.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QSignalBlocker>

namespace messagelist {

bool completesOnRelease(int qtKey) {
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F16) return false;
    switch (qtKey) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Clear:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Pause:
    case Qt::Key_CapsLock:
    case Qt::Key_Space:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Select:
    case Qt::Key_Printer:
    case Qt::Key_Execute:
    case Qt::Key_Print:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_Help:
    case Qt::Key_NumLock:
        return false;
    default:
        return true;
    }
}

int findCompletion(const std::vector<std::u16string>& entries, std::u16string_view typed) {
    const QString wanted = QString::fromUtf16(typed.data(), static_cast<qsizetype>(typed.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QString entry = QString::fromStdU16String(entries[i]);
        if (entry.startsWith(wanted, Qt::CaseInsensitive)) return static_cast<int>(i);
    }
    return -1;
}

void clearEntry(QComboBox& box) {
    box.setCurrentIndex(-1);
    box.setEditText(QString());
}

void focusEntryBox(QComboBox& box) {
    if (box.isEnabled()) box.setFocus();
}

EntryLineEdit::EntryLineEdit(EntryBox& owner, QWidget* parent)
    : QLineEdit(parent), owner_(&owner) {}

void EntryLineEdit::keyPressEvent(QKeyEvent* event) {
    if (owner_ && owner_->SendMessageList_KeyPress(*event)) return;
    QLineEdit::keyPressEvent(event);
}

void EntryLineEdit::keyReleaseEvent(QKeyEvent* event) {
    QLineEdit::keyReleaseEvent(event);
    // Taken here, so the box does not hand the same release back to us.
    event->accept();
    if (owner_ && !event->isAutoRepeat()) owner_->SendMessageList_KeyUp(event->key());
}

void EntryLineEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (owner_) owner_->SendMessageList_GotFocus();
}

void EntryLineEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (owner_) owner_->SendMessageList_LostFocus();
}

EntryBox::EntryBox(const EntryBoxControls& controls, std::function<void()> send, QObject* parent)
    : QObject(parent), controls_(controls), send_(std::move(send)) {
    QComboBox* box = controls_.SendMessageList;
    const QString text = box->currentText();
    editor_ = new EntryLineEdit(*this);
    box->setLineEdit(editor_);
    box->setEditText(text);
    // The completion is our own, from the first matching entry; Qt's would
    // compete with it.
    box->setCompleter(nullptr);
    // The box would pick a list entry equal to the text when editing ends;
    // an edited text stays edited until it is sent.
    disconnect(editor_, &QLineEdit::editingFinished, box, nullptr);

    connect(box, &QComboBox::editTextChanged, this, &EntryBox::SendMessageList_Change);
    connect(box, &QComboBox::currentIndexChanged, this, &EntryBox::SendMessageList_Click);
    connect(editor_, &QLineEdit::textEdited, this, &EntryBox::textEdited);
}

void EntryBox::enableFollowingText() {
    const bool text = !controls_.SendMessageList->currentText().isEmpty();
    controls_.SendMessage->setEnabled(text);
    controls_.DeleteOutgoingMessageEntry->setEnabled(text);
}

void EntryBox::SendMessageList_Change() {
    enableFollowingText();
}

void EntryBox::SendMessageList_Click() {
    QLineEdit* editor = controls_.SendMessageList->lineEdit();
    if (editor) editor->end(false);
    enableFollowingText();
    focusEntryBox(*controls_.SendMessageList);
    if (editor) editor->setCursorPosition(static_cast<int>(editor->text().size()));
}

void EntryBox::SendMessageList_GotFocus() {
    if (QLineEdit* editor = controls_.SendMessageList->lineEdit()) editor->end(false);
}

bool EntryBox::SendMessageList_KeyPress(QKeyEvent& event) {
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) {
        // Enter is the send key and nothing else: the editor never sees it.
        if (controls_.SendMessage->isEnabled() && send_) send_();
        event.accept();
        return true;
    }
    if (!controls_.Caps->isChecked()) return false;
    const QString upper = event.text().toUpper();
    if (upper == event.text()) return false;
    QKeyEvent capital(event.type(), event.key(), event.modifiers(), upper, event.isAutoRepeat(),
                      static_cast<quint16>(event.count()));
    if (editor_) static_cast<QObject*>(editor_.data())->event(&capital);
    event.setAccepted(capital.isAccepted());
    return true;
}

void EntryBox::SendMessageList_KeyUp(int qtKey) {
    QComboBox* box = controls_.SendMessageList;
    if (qtKey == Qt::Key_Down) {
        if (box->currentText() != QStringLiteral("<Help>")) return;
        if (box->count() == 1)
            clearEntry(*box);
        else
            box->setCurrentIndex(1);
        return;
    }
    if (!completesOnRelease(qtKey) || !controls_.CheckListForMatch->isChecked()) return;

    const std::u16string typed = box->currentText().toStdU16String();
    std::vector<std::u16string> entries;
    entries.reserve(static_cast<std::size_t>(box->count()));
    for (int i = 0; i < box->count(); ++i)
        entries.push_back(box->itemText(i).toStdU16String());
    const int match = findCompletion(entries, typed);
    if (match < 0) return;

    if (box->currentIndex() == match) {
        box->setEditText(box->itemText(match));
        SendMessageList_Click();
    } else {
        box->setCurrentIndex(match);
    }
    // The typed part stays, the rest of the entry is selected, so the next
    // character typed replaces it.
    if (QLineEdit* editor = box->lineEdit())
        editor->setSelection(static_cast<int>(typed.size()),
                             static_cast<int>(entries[static_cast<std::size_t>(match)].size()));
}

void EntryBox::SendMessageList_LostFocus() {
    QComboBox* box = controls_.SendMessageList;
    const QString text = box->currentText();
    const std::u16string typed = text.toStdU16String();
    const QString trimmed = QString::fromStdU16String(std::u16string(platform::trimSpaces(typed)));
    if (trimmed != text) box->setEditText(trimmed);
    // Let the box repaint before whatever took the focus goes on; the
    // operator's own input waits its turn, so a click that moved the focus
    // is not handled inside it. A window on its way out has nothing to draw.
    if (box->window()->isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void EntryBox::textEdited() {
    QComboBox* box = controls_.SendMessageList;
    if (box->currentIndex() == -1) return;
    // Leaving the entry empties the editor; the operator's text, caret and
    // selection come back at once and nobody hears of the detour.
    QLineEdit* editor = box->lineEdit();
    const QString text = editor->text();
    const int cursor = editor->cursorPosition();
    const int selectionStart = editor->selectionStart();
    const int selectionLength = static_cast<int>(editor->selectedText().size());
    {
        const QSignalBlocker blockBox(box);
        const QSignalBlocker blockEditor(editor);
        box->setCurrentIndex(-1);
        editor->setText(text);
    }
    if (selectionStart >= 0 && selectionLength > 0) {
        if (cursor == selectionStart)
            editor->setSelection(selectionStart + selectionLength, -selectionLength);
        else
            editor->setSelection(selectionStart, selectionLength);
    } else {
        editor->setCursorPosition(cursor);
    }
}

} // namespace messagelist
