#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>

class QAbstractButton;
class QComboBox;
class QLabel;

namespace console {
struct ConsoleState;
}
namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace messagelist {

struct MessageListControls {
    QComboBox* SendMessageList = nullptr;
    QAbstractButton* SendMessage = nullptr;
    QAbstractButton* DeleteOutgoingMessageEntry = nullptr;
    QAbstractButton* ClearHistory = nullptr;
    QAction* LoadStartupMessageList = nullptr;
    // Names the file the list came from or went to.
    QLabel* OutGoingFile = nullptr;
};

// The outgoing message list: the drop-down list of the entry box, with
// "<Help>" first; its ".gmg" files; and the commands of the Message Lists
// menu with the "X" and "R&estore" buttons.
class MessageList : public QObject {
public:
    MessageList(console::ConsoleState& state, platform::MessageBoxes& boxes,
                platform::FileDialogs& fileDialogs, const MessageListControls& controls);

    // Replaces the list by the file's entries. The start-up file is created
    // with the default list when it does not exist yet. A file that cannot
    // be read leaves the list as it was (only "<Help>" at start-up), says
    // why, and returns false.
    bool ReadMessageList(const std::u16string& fileName);
    // Replaces the file's content by the list. On failure the operator is
    // told, the file stays as it was and MsgFile comes back empty.
    void WriteMessageList(std::u16string& MsgFile);
    // Writes the default list to the start-up file; sets FileNotSaved when
    // that failed.
    void SaveDefaultMessageList(bool& FileNotSaved);

    void SortMessageList_Click();
    void ClrMessageList_Click();
    void DeleteOutgoingMessageEntry_Click();
    // The "R&estore" button and the reload menu entry run the same command.
    void LoadStartupMessageList_Click();
    void ClearHistory_Click();
    void RestoreMessageList_Click();
    void ImportAlternateMessageList_Click();
    void SaveAlternateMessageList_Click();
    void SaveMessageList_Click();

private:
    bool readList(const QString& path, bool startUpFile);
    QStringList entries() const;
    void replaceEntries(const QStringList& entries);
    // The index of the entry shown in the box, or -1 once its text was edited.
    int selectedIndex() const;
    void selectEntry(int index);
    void enableReloadControls(bool enabled);
    bool askYesNo(const std::u16string& text, const std::u16string& title, bool questionIcon);
    void showProblem(const QString& text, const std::u16string& title);

    console::ConsoleState& state_;
    platform::MessageBoxes& boxes_;
    platform::FileDialogs& fileDialogs_;
    MessageListControls controls_;
};

} // namespace messagelist
