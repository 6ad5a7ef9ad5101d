#include "messagelist/MessageList.h"

#include "core/ConsoleState.h"
#include "messagelist/EntryBox.h"
#include "messagelist/MessageListFiles.h"
#include "messagelist/MessageListFormat.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/qt/QtText.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>

#include <QCollator>
#include <QLineEdit>

#include <vector>

namespace messagelist {

namespace {

QString helpEntry() {
    return platform::toQString(kHelpEntry);
}

constexpr std::u16string_view kDiscardLines =
    u"Select Yes to continue without saving the current Outgoing Message List.\n\n"
    u"Select No if you want to save the current Outgoing Message List and go to MessageLists "
    u"Menu.\n\n";
constexpr std::u16string_view kContinue = u"Do wish to continue ?";
constexpr std::u16string_view kFileFilter = u"GPIB Message Files (*.gmg)|*.gmg";

std::u16string concat(std::initializer_list<std::u16string_view> parts) {
    std::u16string text;
    for (std::u16string_view part : parts)
        text += part;
    return text;
}

} // namespace

MessageList::MessageList(console::ConsoleState& state, platform::MessageBoxes& boxes,
                         platform::FileDialogs& fileDialogs, const MessageListControls& controls)
    : state_(state), boxes_(boxes), fileDialogs_(fileDialogs), controls_(controls) {}

// ---- The store ------------------------------------------------------------

bool MessageList::ReadMessageList(const std::u16string& fileName) {
    return readList(platform::toQString(fileName), fileName == state_.StartUpFile);
}

bool MessageList::readList(const QString& path, bool startUpFile) {
    const MessageListControls& ui = controls_;
    FileRead read = readWholeFile(path);
    // Only a start-up file that is not there yet gets the default list: one
    // that exists but cannot be read is the operator's, and stays untouched.
    if (read.status == FileRead::Status::Missing && startUpFile) {
        bool fileNotSaved = false;
        SaveDefaultMessageList(fileNotSaved);
        if (!fileNotSaved) read = readWholeFile(path);
    }
    if (read.status != FileRead::Status::Read) {
        if (ui.SendMessageList->count() == 0) replaceEntries({helpEntry()});
        showProblem(QStringLiteral("Can't read the file %1: %2.\n\nThe Outgoing Message List "
                                   "was not changed.")
                        .arg(path, read.error),
                    u"File Read error");
        return false;
    }

    const ParsedMessageList parsed =
        parseMessageList(std::string_view(read.bytes.constData(), read.bytes.size()));
    QStringList list;
    list.reserve(static_cast<qsizetype>(parsed.entries.size()) + 1);
    list.push_back(helpEntry());
    for (const std::u16string& entry : parsed.entries)
        list.push_back(platform::toQString(entry));
    replaceEntries(list);
    ui.OutGoingFile->setText(path);
    enableReloadControls(false);
    ui.SendMessage->setEnabled(false);
    ui.DeleteOutgoingMessageEntry->setEnabled(false);

    if (parsed.truncated)
        showProblem(QStringLiteral("The file %1 holds more than %2 messages, more than an "
                                   "Outgoing Message List can hold.\n\nOnly the first %2 were "
                                   "read; saving the list would drop the others.")
                        .arg(path)
                        .arg(kMaxFileEntries),
                    u"Message List too long");
    return true;
}

void MessageList::WriteMessageList(std::u16string& MsgFile) {
    std::vector<std::u16string> list;
    for (const QString& entry : entries())
        list.push_back(platform::fromQString(entry));
    const std::string bytes = formatMessageList(list);
    const QString error =
        replaceFile(platform::toQString(MsgFile),
                    QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!error.isEmpty()) {
        boxes_.show(
            concat({u"Can't write to the file ", MsgFile, u". It is probably write protected."}),
            u"File Write error", platform::Buttons::Ok, platform::Icon::Exclamation);
        MsgFile.clear();
        return;
    }
    controls_.OutGoingFile->setText(platform::toQString(MsgFile));
}

void MessageList::SaveDefaultMessageList(bool& FileNotSaved) {
    const std::u16string& startUp = state_.StartUpFile;
    const std::string bytes = formatMessageList(defaultMessageList());
    const QString error =
        replaceFile(platform::toQString(startUp),
                    QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (error.isEmpty()) return;
    boxes_.show(
        concat({u"Can't write to the file ", startUp, u". It is probably write protected."}),
        u"File Write error", platform::Buttons::Ok, platform::Icon::Exclamation);
    FileNotSaved = true;
}

// ---- The commands ---------------------------------------------------------

void MessageList::SortMessageList_Click() {
    if (askYesNo(concat({u"This will sort the entries in the current Outgoing Message List. \n"
                         u"It can't be undone but nothing will be saved.\n\n",
                         kContinue}),
                 u"Sort Outgoing Messages", true)) {
        // The user's locale decides the order, as in every sorted list on the desktop.
        replaceEntries(sortedMessageList(entries(), QCollator()));
        enableReloadControls(true);
        state_.MessageListChanged = true;
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::ClrMessageList_Click() {
    const MessageListControls& ui = controls_;
    const bool typed = !ui.SendMessageList->currentText().isEmpty();
    const std::u16string_view hint =
        typed ? u"Select the Clear Messages button [X] if you want to clear only the currently "
                u"shown Outgoing Message.\n\n"
              : u"\n";
    if (askYesNo(
            concat({u"This will clear ALL entries in the current Outgoing Message List.\n", hint,
                    u"Select Yes to continue without saving the current Outgoing List.\n"
                    u"If you want to save the List select No and then go to MessageLists "
                    u"Menu.\n\n",
                    kContinue}),
            u"Clear Outgoing Messages", true)) {
        replaceEntries({helpEntry()});
        state_.MessageListChanged = true;
        enableReloadControls(true);
        ui.DeleteOutgoingMessageEntry->setEnabled(false);
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::DeleteOutgoingMessageEntry_Click() {
    const MessageListControls& ui = controls_;
    QComboBox* box = ui.SendMessageList;
    const int i = selectedIndex();
    if (i <= 0) {
        // Typed text and the help entry are only cleared from the box.
        box->setCurrentIndex(-1);
        box->clearEditText();
        focusEntryBox(*controls_.SendMessageList);
        return;
    }
    if (askYesNo(u"Do you really want to delete the selected entry in Outgoing Message List ?",
                 u"Delete Entry", false)) {
        box->removeItem(i);
        state_.MessageListChanged = true;
        if (box->count() == 1) ui.DeleteOutgoingMessageEntry->setEnabled(false);
        enableReloadControls(true);
        selectEntry(box->count() == 1 || i > 1 ? i - 1 : i);
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::LoadStartupMessageList_Click() {
    const std::u16string_view warning =
        state_.MessageListChanged ? kDiscardLines : std::u16string_view();
    if (askYesNo(concat({u"This will reload the start up Outgoing Message List.\n\n", warning,
                         kContinue}),
                 u"Reload Start Up Outgoing Messages", true)) {
        if (readList(platform::toQString(state_.StartUpFile), true))
            state_.MessageListChanged = false;
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::ClearHistory_Click() {
    LoadStartupMessageList_Click();
}

void MessageList::RestoreMessageList_Click() {
    if (askYesNo(concat({u"This will restore the Outgoing Message List with default values and "
                         u"save it to the start up file.\n\n",
                         kDiscardLines, kContinue}),
                 u"Restore Outgoing Messages", true)) {
        bool fileNotSaved = false;
        SaveDefaultMessageList(fileNotSaved);
        if (!fileNotSaved && readList(platform::toQString(state_.StartUpFile), true))
            state_.MessageListChanged = false;
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::ImportAlternateMessageList_Click() {
    console::ConsoleState& state = state_;
    if (state.MessageListChanged &&
        !askYesNo(concat({u"This will load an alternate Outgoing Message List. The current "
                          u"Outgoing Message List will be discarded.\n\n",
                          kDiscardLines, kContinue}),
                  u"Load Alternate Outgoing Messages", true)) {
        focusEntryBox(*controls_.SendMessageList);
        return;
    }
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = u"Load Alternative Outgoing Message List";
    request.folder = state.DataFolder;
    request.filter = kFileFilter;
    const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request);
    // An alternate list is never the reason to write the start-up file.
    if (choice && readList(platform::toQString(choice->path), false)) {
        state.MessageListChanged = true;
        enableReloadControls(true);
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::SaveAlternateMessageList_Click() {
    console::ConsoleState& state = state_;
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = u"Save Alternate Outgoing Message List";
    request.folder = state.DataFolder;
    request.fileName = u"Message";
    request.filter = kFileFilter;
    const std::optional<platform::FileChoice> choice = fileDialogs_.choose(request);
    if (choice) {
        // The real folder of the file, even when a folder's name contains the file's.
        state.SelectedDataFolder =
            platform::fromQString(folderOf(platform::toQString(choice->path)));
        std::u16string written = choice->path;
        WriteMessageList(written);
        if (!written.empty()) state.MessageListChanged = false;
    }
    focusEntryBox(*controls_.SendMessageList);
}

void MessageList::SaveMessageList_Click() {
    if (askYesNo(concat({u"This will save the current Outgoing Message List to the file which is "
                         u"loaded at start up.\n\n",
                         kContinue}),
                 u"Save Outgoing Messages", true)) {
        // A copy, so a failed write cannot empty the start-up file's name.
        std::u16string startUp = state_.StartUpFile;
        WriteMessageList(startUp);
        if (!startUp.empty()) {
            state_.MessageListChanged = false;
            enableReloadControls(false);
        }
    }
    focusEntryBox(*controls_.SendMessageList);
}

// ---- Helpers --------------------------------------------------------------

QStringList MessageList::entries() const {
    const QComboBox* box = controls_.SendMessageList;
    QStringList list;
    list.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        list.push_back(box->itemText(i));
    return list;
}

void MessageList::replaceEntries(const QStringList& entries) {
    QComboBox* box = controls_.SendMessageList;
    box->clear();
    box->addItems(entries);
    // Filling an empty box selects its first entry; the box starts empty.
    box->setCurrentIndex(-1);
    box->clearEditText();
}

int MessageList::selectedIndex() const {
    const QComboBox* box = controls_.SendMessageList;
    const int i = box->currentIndex();
    if (i < 0) return -1;
    // The box keeps its index while the operator types; typed text selects
    // nothing, even when it equals an entry.
    const QLineEdit* edit = box->lineEdit();
    if (edit && (edit->isModified() || edit->text() != box->itemText(i))) return -1;
    return i;
}

void MessageList::selectEntry(int index) {
    const MessageListControls& ui = controls_;
    QComboBox* box = ui.SendMessageList;
    box->setCurrentIndex(index);
    // Removing the shown entry may already have moved the box to this index.
    if (box->currentText() != box->itemText(index)) box->setEditText(box->itemText(index));
    const bool hasText = !box->currentText().isEmpty();
    ui.SendMessage->setEnabled(hasText);
    ui.DeleteOutgoingMessageEntry->setEnabled(hasText);
    if (QLineEdit* edit = box->lineEdit()) edit->setCursorPosition(edit->text().size());
}

void MessageList::enableReloadControls(bool enabled) {
    controls_.ClearHistory->setEnabled(enabled);
    controls_.LoadStartupMessageList->setEnabled(enabled);
}

bool MessageList::askYesNo(const std::u16string& text, const std::u16string& title,
                           bool questionIcon) {
    return boxes_.show(text, title, platform::Buttons::YesNo,
                       questionIcon ? platform::Icon::Question : platform::Icon::None) ==
           platform::Answer::Yes;
}

void MessageList::showProblem(const QString& text, const std::u16string& title) {
    boxes_.show(platform::fromQString(text), title, platform::Buttons::Ok,
                platform::Icon::Exclamation);
}

} // namespace messagelist
