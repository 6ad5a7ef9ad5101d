#include "exchange/Exchange.h"

#include "core/Console.h"
#include "core/ConsoleState.h"
#include "exchange/IncomingText.h"
#include "exchange/ReceiveToFile.h"
#include "messagelist/EntryBox.h"
#include "messagelist/MessageListFormat.h"
#include "platform/TextTrim.h"
#include "platform/qt/QtText.h"
#include "syntaxcheck/SyntaxChecking.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace exchange {

namespace {

constexpr std::u16string_view kTooLargeTitle = u"Too large string - 30k list limit exceeded";

// The view's own text, its paragraphs ended by CR LF as the console writes them.
std::u16string fromView(const QString& shown) {
    std::u16string text;
    text.reserve(static_cast<std::size_t>(shown.size()) +
                 static_cast<std::size_t>(shown.size()) / 8);
    for (const QChar c : shown) {
        if (c == u'\n') text += u'\r';
        text += c.unicode();
    }
    return text;
}

} // namespace

Exchange::Exchange(QWidget& window, core::Console& console, console::ConsoleState& state,
                   ReceiveToFile& toFile, syntaxcheck::SyntaxChecking& syntaxChecking,
                   const ExchangeControls& controls)
    : window_(window), console_(console), state_(state), toFile_(toFile),
      syntaxChecking_(syntaxChecking), controls_(controls) {
    view_ = fromView(controls_.ReceivedMessages->toPlainText());
    connect(controls_.ReceivedMessages, &QPlainTextEdit::textChanged, this, &Exchange::viewEdited);
    // A log of answers has nothing to undo, and an undo history would keep
    // a copy of every answer for the whole run.
    controls_.ReceivedMessages->setUndoRedoEnabled(false);
    controls_.ReceivedMessages->installEventFilter(this);
}

const std::u16string& Exchange::viewText() {
    if (viewStale_) {
        view_ = fromView(controls_.ReceivedMessages->toPlainText());
        viewStale_ = false;
    }
    return view_;
}

void Exchange::setViewText(std::u16string text) {
    view_ = std::move(text);
    viewStale_ = false;
    settingView_ = true;
    controls_.ReceivedMessages->setPlainText(platform::toQString(view_));
    settingView_ = false;
}

void Exchange::placeOnTop(const std::u16string& block) {
    const std::u16string& old = viewText();
    std::u16string shown;
    shown.reserve(block.size() + old.size());
    shown.append(block).append(old);
    view_ = std::move(shown);
    // Only the new lines go into the view: rebuilding the whole text would
    // lay the older answers out again with every answer.
    settingView_ = true;
    QPlainTextEdit& edit = *controls_.ReceivedMessages;
    QTextCursor top(edit.document());
    top.insertText(platform::toQString(block));
    edit.verticalScrollBar()->setValue(0);
    settingView_ = false;
}

void Exchange::viewEdited() {
    if (!settingView_) viewStale_ = true;
}

void Exchange::hourglass() {
    window_.setCursor(Qt::WaitCursor);
}

void Exchange::defaultPointer() {
    window_.unsetCursor();
}

void Exchange::enableClear() {
    if (controls_.ClearIncoming->isEnabled()) return;
    controls_.ClearIncoming->setEnabled(true);
    controls_.ClrIncoming->setEnabled(true);
}

void Exchange::SendMessage_Click() {
    // The events let through while an answer is awaited may ask for another
    // cycle (a second Enter, a click on Send) or another bus operation; it
    // would write in the middle of this one, so it is refused.
    const auto operation = console_.beginOperation();
    if (!operation) return;
    QComboBox& box = *controls_.SendMessageList;

    const std::u16string entry = box.currentText().toStdU16String();
    if (platform::trimSpaces(entry).empty()) {
        messagelist::focusEntryBox(box);
        return;
    }
    if (entry == messagelist::kHelpEntry && !controls_.Help->isEnabled()) {
        // The help is on screen already.
        messagelist::clearEntry(box);
        messagelist::focusEntryBox(box);
        return;
    }

    controls_.ReceivedCharacters->setText(QString());
    controls_.SyntaxErrorMessage->hide();

    // Service requests left from earlier messages must not pass for this one's.
    console_.PreWriteClearing(*operation);

    std::u16string outgoing(platform::trimSpaces(entry));
    bool record = true;
    if (entry.find(u'?') != std::u16string::npos) {
        // "??" asks for an answer without sending any question mark.
        if (const auto pair = outgoing.find(u"??"); pair != std::u16string::npos)
            outgoing.erase(pair, 2);

        if (controls_.SendToFile->isChecked() || controls_.SendtoFileOnce->isChecked()) {
            record = toFile_.transfer(*operation, outgoing);
        } else {
            autoClearView();
            // A bare "??" writes nothing and reads what the device still holds.
            if (!outgoing.empty()) writeMessage(*operation, std::move(outgoing));
            if (!console_.session().ErrorFlag) {
                hourglass();
                const std::u16string answer = console_.ReadResponse(*operation);
                defaultPointer();
                PrintMessageList(answer);
            }
        }
    } else if (entry == messagelist::kHelpEntry) {
        showHelp();
    } else {
        writeMessage(*operation, std::move(outgoing));
    }
    // The device's verdict on the message, when asked for; the help and a
    // transfer called off exchanged nothing.
    console_.judge(*operation);

    if (record) recordMessage();
    closingSteps();
}

void Exchange::writeMessage(const core::Console::Operation& operation, std::u16string text) {
    if (controls_.vrAddCR->isChecked()) text += u'\r';
    if (controls_.vrAddLF->isChecked()) text += u'\n';
    if (console_.WriteMessage(operation, text)) syntaxChecking_.ShowSyntaxErrorMessage();
}

void Exchange::recordMessage() {
    QComboBox& box = *controls_.SendMessageList;
    const QString shown = box.currentText();
    // A message picked from the list is there already.
    if (shown.isEmpty() || box.currentIndex() != -1) return;

    // The recorded entry is the selected one from now on, so "X" offers to
    // delete it. The box keeps its editor's "typed" mark when the entry's
    // text equals the typed text, so the mark goes here.
    const auto select = [&box](int index) {
        box.setCurrentIndex(index);
        if (QLineEdit* editor = box.lineEdit()) editor->setModified(false);
    };
    if (!controls_.AllowMultipleCommands->isChecked()) {
        const QString upper = shown.toUpper();
        for (int i = 0; i < box.count(); ++i) {
            if (box.itemText(i).toUpper() == upper) {
                select(i);
                return;
            }
        }
    }
    box.addItem(shown);
    state_.MessageListChanged = true;
    controls_.ClearHistory->setEnabled(true);
    controls_.LoadStartupMessageList->setEnabled(true);
    select(box.count() - 1);
}

void Exchange::closingSteps() {
    QComboBox& box = *controls_.SendMessageList;
    if (box.currentIndex() > 0) {
        controls_.DeleteOutgoingMessageEntry->setEnabled(true);
        if (controls_.SendtoFileOnce->isChecked()) toFile_.SendtoFileOnce_Click();
    } else {
        controls_.DeleteOutgoingMessageEntry->setEnabled(false);
    }
    defaultPointer();
    if (controls_.vrSelectNextListItem->isChecked() && box.currentIndex() < box.count() - 1)
        box.setCurrentIndex(box.currentIndex() + 1);
    messagelist::focusEntryBox(box);
}

void Exchange::PrintMessageList(const std::u16string& text) {
    lastAnswer_ = text;
    const std::int64_t estimate = SizeEstimate(text);
    platform::MessageBoxes& boxes = console_.boxes();
    if (estimate > kIncomingLimit) {
        boxes.show(u"This this Incoming Message is too large to capture.\n"
                   u"Try saving it to a file instead.\n\n"
                   u"You will have to resend the query !",
                   kTooLargeTitle, platform::Buttons::Ok, platform::Icon::Critical);
        return;
    }
    bool clearFirst = false;
    if (estimate + static_cast<std::int64_t>(viewText().size()) > kIncomingLimit) {
        const platform::Answer answer =
            boxes.show(u"To capture this Incoming Message the previous must be cleared.\n\n"
                       u"If you select cancel you will have to resend the query !",
                       kTooLargeTitle, platform::Buttons::OkCancel, platform::Icon::Exclamation);
        if (answer == platform::Answer::Cancel) return;
        clearFirst = true;
    }

    hourglass();
    const std::u16string block = BuildBlock(text, console_.devices().SelectedAddress);
    if (clearFirst)
        setViewText(block);
    else
        placeOnTop(block);

    controls_.ReceivedCharacters->setText(QString::number(text.size()) + u' ');
    enableClear();
    defaultPointer();
}

void Exchange::autoClearView() {
    if (!controls_.AutoClear->isChecked() || !controls_.AutoClear->isEnabled()) return;
    setViewText({});
    controls_.Help->setEnabled(true);
}

void Exchange::ClearIncoming_Click() {
    setViewText({});
    QComboBox& box = *controls_.SendMessageList;
    // The help entry goes with the help it asked for.
    if (box.currentIndex() == 0) messagelist::clearEntry(box);
    controls_.SyntaxErrorMessage->hide();
    controls_.ReceivedCharacters->setText(QString());
    controls_.ClearIncoming->setEnabled(false);
    controls_.ClrIncoming->setEnabled(false);
    controls_.Help->setEnabled(true);
    box.setEnabled(true);
    messagelist::focusEntryBox(box);
}

void Exchange::ClrIncoming_Click() {
    ClearIncoming_Click();
}

void Exchange::AutoClear_Click() {
    messagelist::focusEntryBox(*controls_.SendMessageList);
}

bool Exchange::ReceivedMessages_KeyPress(int qtKey) {
    const bool leaves = qtKey == Qt::Key_Tab || qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter;
    // With nothing to send, these keys take the operator back to the devices.
    if (!leaves || controls_.SendMessage->isEnabled()) return false;
    controls_.AddressButton0->setFocus();
    return true;
}

bool Exchange::eventFilter(QObject* watched, QEvent* event) {
    if (watched == controls_.ReceivedMessages && event->type() == QEvent::KeyPress)
        return ReceivedMessages_KeyPress(static_cast<QKeyEvent*>(event)->key());
    return QObject::eventFilter(watched, event);
}

void Exchange::showHelp() {
    const std::u16string& old = viewText();
    std::u16string shown = HelpText(old);
    shown += old;
    setViewText(std::move(shown));
    messagelist::clearEntry(*controls_.SendMessageList);
    controls_.DeleteOutgoingMessageEntry->setEnabled(false);
    enableClear();
    // The disabled entry also says the help is on screen.
    controls_.Help->setEnabled(false);
}

void Exchange::Help_Click() {
    if (console_.busy()) return;
    QComboBox& box = *controls_.SendMessageList;
    if (box.count() == 0) return;
    box.setCurrentIndex(0);
    box.setEditText(box.itemText(0));
    SendMessage_Click();
    box.setEnabled(false);
    controls_.SendMessage->setEnabled(false);
}

} // namespace exchange
