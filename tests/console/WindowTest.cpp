#include "console/ConsoleHarness.h"

#include <QAbstractButton>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <set>

namespace {

using console_testing::BenchConsole;
using console_testing::ConsoleHarness;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using testing_support::utf8;

// --- Layout ---------------------------------------------------------------------

TEST(Layout, FixedSizeTabOrderUniqueAccessKeysNothingOutsideItsFrame) {
    ConsoleHarness h;
    auto& form = h.create();
    form.show();
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    std::vector<std::string> expected, chain;
    for (int k = 0; k < 14; ++k)
        expected.push_back("AddressButton_" + std::to_string(k));
    for (const char* name :
         {"IdAll", "vrID", "vrIDN", "DeleteOutgoingMessageEntry", "SendMessageList",
          "CheckListForMatch", "Caps", "AllowMultipleCommands", "vrAddCR", "vrAddLF",
          "ClearHistory", "SendMessage", "ReceivedMessages", "ClearIncoming", "TempSendMessageList",
          "vrSelectNextListItem", "Command_Exit"})
        expected.push_back(name);
    QWidget* first = h.address(0);
    QWidget* w = first;
    do {
        const std::string name = w->objectName().toStdString();
        if ((w->focusPolicy() & Qt::TabFocus) && std::count(expected.begin(), expected.end(), name))
            chain.push_back(name);
        w = w->nextInFocusChain();
    } while (w != first && chain.size() < 100);
    EXPECT_EQ(chain, expected);

    // Alt+key is unique among the window's buttons and menu titles, and in each menu.
    const auto expectUniqueKeys = [](const QList<QString>& texts) {
        std::set<QChar> keys;
        for (const QString& text : texts) {
            const qsizetype at = text.indexOf(QLatin1Char('&'));
            EXPECT_TRUE(at < 0 || keys.insert(text.at(at + 1).toUpper()).second)
                << text.toStdString();
        }
    };
    QStringList windowTexts;
    for (auto* button : form.findChildren<QAbstractButton*>())
        windowTexts << button->text();
    for (QAction* top : form.menuBar()->actions())
        windowTexts << top->text();
    for (QMenu* menu : form.menuBar()->findChildren<QMenu*>()) {
        QStringList entries;
        for (QAction* entry : menu->actions())
            entries << entry->text();
        expectUniqueKeys(entries);
    }
    expectUniqueKeys(windowTexts);

    for (QWidget* child : form.centralWidget()->findChildren<QWidget*>()) {
        if (child->objectName().isEmpty() || child->objectName().startsWith(QLatin1String("qt_")))
            continue;
        EXPECT_TRUE(child->parentWidget()->rect().contains(child->geometry()))
            << child->objectName().toStdString();
    }
    form.hide();
}

// --- Every message box of the window -----------------------------------------------

const char* const kTooLarge = "Too large string - 30k list limit exceeded";

struct BoxCase {
    const char* name;
    std::function<void(BenchConsole&)> act;
    const char* title;
    const char* text;
    Buttons buttons;
    Icon icon;
};

class MessageBox : public testing::TestWithParam<BoxCase> {};

TEST_P(MessageBox, AsDesigned) {
    BenchConsole c;
    GetParam().act(c);
    ASSERT_FALSE(c.boxes.shown().empty());
    const auto& box = c.boxes.shown().back();
    EXPECT_EQ(utf8(box.title), GetParam().title);
    EXPECT_EQ(utf8(box.text), GetParam().text);
    EXPECT_EQ(box.buttons, GetParam().buttons);
    EXPECT_EQ(box.icon, GetParam().icon);
}

void receive(BenchConsole& c, std::size_t length) {
    c.deviceHolds(5, std::string(length, 'a') + "\n");
    c.send(QStringLiteral("??"));
}

INSTANTIATE_TEST_SUITE_P(
    Console, MessageBox,
    testing::Values(
        BoxCase{"CloseQuestion",
                [](BenchConsole& c) {
                    c.form().state().MessageListChanged = true;
                    c.boxes.answerNext(Answer::Cancel);
                    c.form().close();
                },
                "Exit",
                "Changes have been done to the current Outgoing Message List.\n\n\n"
                "Select Yes to save it as the default start file.\n\n"
                "Selec No to Exit without save.\n\n"
                "Select Cancel and go to Outgoing Message List menu to save it as an alternate "
                "Message List file.",
                Buttons::YesNoCancel, Icon::Question},
        BoxCase{"AnswerTooLarge", [](BenchConsole& c) { receive(c, 29253); }, kTooLarge,
                "This this Incoming Message is too large to capture.\n"
                "Try saving it to a file instead.\n\nYou will have to resend the query !",
                Buttons::Ok, Icon::Critical},
        BoxCase{"AnswerFitsOnlyAlone",
                [](BenchConsole& c) { receive(c, 20000), receive(c, 10000); }, kTooLarge,
                "To capture this Incoming Message the previous must be cleared.\n\n"
                "If you select cancel you will have to resend the query !",
                Buttons::OkCancel, Icon::Exclamation},
        BoxCase{"SelectDevice", [](BenchConsole& c) { c.action("SelectDevice")->trigger(); },
                "Select Device", "Select a device with the buttons under Device Address.",
                Buttons::Ok, Icon::None}),
    [](const testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

// --- Focus and enabled states after each command -------------------------------

// The controls watched; a case names those whose state differs from a selected
// device at rest: "+Name" enabled, "-Name" disabled.
const char* const kWatched[] = {"SendMessageList", "SendMessage",   "DeleteOutgoingMessageEntry",
                                "ClearHistory",    "ClearIncoming", "IdAll"};
const char* const kWatchedActions[] = {"Help", "EnableSyntaxCheck", "SendToDevice"};
const QStringList kAtRest = {"SendMessageList", "IdAll", "Help", "EnableSyntaxCheck",
                             "SendToDevice"};

struct StateCase {
    const char* name;
    int selectFirst; // the address button clicked before, -1 for none
    std::function<void(BenchConsole&)> act;
    const char* focus;
    const char* changes;
    int selectedAddress;
};

class AfterCommand : public testing::TestWithParam<StateCase> {};

TEST_P(AfterCommand, FocusEnabledControlsAndSelection) {
    const StateCase& s = GetParam();
    BenchConsole c(bus::SimulatedBus::defaultBench(), s.selectFirst);
    s.act(c);
    QStringList changes;
    const auto note = [&](const char* name, bool enabled) {
        if (enabled != kAtRest.contains(QLatin1String(name)))
            changes << QLatin1Char(enabled ? '+' : '-') + QLatin1String(name);
    };
    for (const char* name : kWatched)
        note(name, c.control<QWidget>(name)->isEnabled());
    for (const char* name : kWatchedActions)
        note(name, c.action(name)->isEnabled());
    EXPECT_EQ(c.focus().toStdString(), s.focus);
    EXPECT_EQ(changes.join(QLatin1Char(' ')).toStdString(), s.changes);
    const bus::DeviceTable& devices = c.form().session().devices;
    EXPECT_EQ(devices.SelectedAddress, s.selectedAddress);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(c.address(k)->isChecked(), devices.SelectedDeviceIndex == k + 1) << k;
        EXPECT_EQ(c.address(k)->font().bold(), devices.SelectedDeviceIndex == k + 1) << k;
    }
}

const char* const kNoSelection = "-SendMessageList -EnableSyntaxCheck -SendToDevice";

INSTANTIATE_TEST_SUITE_P(
    Console, AfterCommand,
    testing::Values(
        StateCase{"ClickAnAddress", -1, [](BenchConsole& c) { c.select(1); }, "SendMessageList", "",
                  9},
        StateCase{"ClickAnother", 1, [](BenchConsole& c) { c.select(2); }, "SendMessageList", "",
                  22},
        StateCase{"SelectDeviceHint", -1,
                  [](BenchConsole& c) { c.action("SelectDevice")->trigger(); }, "ReceivedMessages",
                  kNoSelection, 0},
        StateCase{
            "SelectDeviceHintWithASelection", 0,
            [](BenchConsole& c) { c.incoming()->setFocus(), c.action("SelectDevice")->trigger(); },
            "SendMessageList", "", 5},
        StateCase{"SendAQuery", 0, [](BenchConsole& c) { c.send(QStringLiteral("*IDN?")); },
                  "SendMessageList", "+SendMessage +DeleteOutgoingMessageEntry +ClearIncoming", 5},
        StateCase{"SendANewCommand", 0, [](BenchConsole& c) { c.send(QStringLiteral("CONF")); },
                  "SendMessageList", "+SendMessage +DeleteOutgoingMessageEntry +ClearHistory", 5},
        StateCase{
            "HelpMenu", 0,
            [](BenchConsole& c) { c.type(QStringLiteral("*RST")), c.action("Help")->trigger(); },
            "CheckListForMatch", // the next after the locked box
            "-SendMessageList +ClearIncoming -Help", 5},
        StateCase{"HelpMenuThenClear", 0,
                  [](BenchConsole& c) {
                      c.action("Help")->trigger();
                      QTest::mouseClick(c.button("ClearIncoming"), Qt::LeftButton);
                  },
                  "SendMessageList", "", 5},
        StateCase{"HelpEntry", 0, [](BenchConsole& c) { c.box()->setCurrentIndex(0), c.enter(); },
                  "SendMessageList", "+ClearIncoming -Help", 5},
        StateCase{
            "OptionBoxClick", 0,
            [](BenchConsole& c) { c.check("vrAddLF")->setFocus(), c.check("vrAddLF")->click(); },
            "SendMessageList", "", 5},
        StateCase{"NoIdQueryChosen", 0,
                  [](BenchConsole& c) { c.check("vrID")->click(), c.check("vrIDN")->click(); },
                  "SendMessageList", "-IdAll", 5},
        StateCase{
            "AutoClearEntry", 0,
            [](BenchConsole& c) { c.incoming()->setFocus(), c.action("AutoClear")->trigger(); },
            "SendMessageList", "", 5},
        StateCase{"TabInTheViewWithNothingToSend", 0,
                  [](BenchConsole& c) { QTest::keyClick(c.incoming(), Qt::Key_Tab); },
                  "AddressButton_0", "", 5}),
    [](const testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

// --- Closing ------------------------------------------------------------------------

struct CloseCase {
    const char* how; // "close", or the control that closes
    bool changed;
    Answer answer;
    bool closes, listSaved;
};

class Close : public testing::TestWithParam<CloseCase> {};

TEST_P(Close, AsksOnlyForAChangedListAndSavesWhatItShould) {
    const CloseCase& c = GetParam();
    ConsoleHarness h;
    h.start().show();
    h.box()->addItem(QStringLiteral("WRITTEN?")); // shows whether the list was written
    h.check("vrAddCR")->click();                  // and whether the options were
    h.form().state().MessageListChanged = c.changed;
    h.boxes.answerNext(c.answer);
    if (std::string(c.how) == "Quit") h.action("Quit")->trigger();
    if (std::string(c.how) == "Command_Exit") h.button("Command_Exit")->click();
    if (std::string(c.how) == "close") h.form().close();

    QFile file(QString::fromStdU16String(h.form().state().StartUpFile));
    EXPECT_EQ(file.open(QIODevice::ReadOnly) && file.readAll().contains("WRITTEN?"), c.listSaved);
    EXPECT_EQ(h.boxes.shown().size(), c.changed ? 1u : 0u);
    EXPECT_EQ(h.form().isVisible(), !c.closes);
    EXPECT_EQ(h.memorySettings.writes().empty(), !c.closes);
    EXPECT_EQ(h.form().state().MessageListChanged, !c.closes); // asked again next time
}

INSTANTIATE_TEST_SUITE_P(Console, Close,
                         testing::Values(CloseCase{"close", false, Answer::Yes, true, false},
                                         CloseCase{"close", true, Answer::Yes, true, true},
                                         CloseCase{"Command_Exit", true, Answer::No, true, false},
                                         CloseCase{"Quit", true, Answer::Cancel, false, false}));

} // namespace
