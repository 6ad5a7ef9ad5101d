#pragma once

#include <QLineEdit>
#include <QObject>
#include <QPointer>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QKeyEvent;

namespace messagelist {

// False for the keys whose release never runs the completion: Backspace,
// Tab, Clear, Enter, the modifier and lock keys, Space and the navigation
// and editing block, the function keys and Num Lock. Letters, digits,
// punctuation and the numeric pad complete.
bool completesOnRelease(int qtKey);

// The index of the first entry that begins with `typed`, letter case
// ignored, or -1 when none does. An empty `typed` matches entry 0.
int findCompletion(const std::vector<std::u16string>& entries, std::u16string_view typed);

struct EntryBoxControls {
    QComboBox* SendMessageList = nullptr;
    QAbstractButton* SendMessage = nullptr;
    QAbstractButton* DeleteOutgoingMessageEntry = nullptr;
    QCheckBox* Caps = nullptr;
    QCheckBox* CheckListForMatch = nullptr;
};

// Empties the entry box; the box then no longer stands on a list entry.
void clearEntry(QComboBox& box);

// Gives the entry box the focus so typing goes on there; a disabled box is
// left alone.
void focusEntryBox(QComboBox& box);

class EntryBox;

// The entry box's editor. Keys reach it both when they are sent to it and
// when the box, which holds the focus, hands them on, so its own event
// handlers see every key exactly once.
class EntryLineEdit : public QLineEdit {
public:
    EntryLineEdit(EntryBox& owner, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<EntryBox> owner_;
};

// The outgoing message box `SendMessageList`: the buttons that follow its
// text, the caret, Enter to send, capitals while typing, the Down-arrow skip
// over the help entry and the completion from the list.
//
// The box's selected index is the list entry that stands in it, and -1 as
// soon as the operator edits the text (even into an entry's exact text).
class EntryBox : public QObject {
    Q_OBJECT
public:
    // `send` runs the send cycle.
    EntryBox(const EntryBoxControls& controls, std::function<void()> send,
             QObject* parent = nullptr);

    void SendMessageList_Change();
    void SendMessageList_Click();
    void SendMessageList_GotFocus();
    // Returns true when the key was used up (Enter never reaches the editor).
    bool SendMessageList_KeyPress(QKeyEvent& event);
    void SendMessageList_KeyUp(int qtKey);
    void SendMessageList_LostFocus();

private:
    friend class EntryLineEdit;
    void textEdited();
    void enableFollowingText();

    EntryBoxControls controls_;
    std::function<void()> send_;
    QPointer<EntryLineEdit> editor_;
};

} // namespace messagelist
