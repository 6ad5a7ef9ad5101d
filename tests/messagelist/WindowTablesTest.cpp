// The message list and data file commands in the window: the box each shows
// last, and the focus and control states each leaves.
#include "datafiles/WindowSteps.h"

#include <gtest/gtest.h>

namespace {

using namespace window_steps;
using platform::Buttons;
using platform::Icon;

const std::string kDiscard =
    "Select Yes to continue without saving the current Outgoing Message List.\n\n"
    "Select No if you want to save the current Outgoing Message List and go to MessageLists "
    "Menu.\n\n";
const std::string kAsk = "Do wish to continue ?";
std::string clearText(const std::string& x) {
    return "This will clear ALL entries in the current Outgoing Message List.\n" + x +
           "Select Yes to continue without saving the current Outgoing List.\n"
           "If you want to save the List select No and then go to MessageLists Menu.\n\n" +
           kAsk;
}
const std::string kReload = "This will reload the start up Outgoing Message List.\n\n";
const char* const kDefault = "ID?,*IDN?,INIT,FAC,SET?";
const char* const kChanged = "ClearHistory.enabled LoadStartupMessageList.enabled";
const char* const kUnchanged = "!ClearHistory.enabled !LoadStartupMessageList.enabled";
const char* const kOnceOn = "SendtoFileOnce.checked !SendToFile.checked !AutoClear.enabled";
const char* const kAllOn = "SendToFile.checked !SendtoFileOnce.checked !AutoClear.enabled";
const char* const kModesOff = "!SendToFile.checked !SendtoFileOnce.checked AutoClear.enabled";
const char* const kX = "C:DeleteOutgoingMessageEntry";

struct Case {
    const char* name;
    std::string steps;             // window_steps::run, the focus elsewhere before
    const char* states;            // "Name.property" true, "!Name.property" false
    const char* list = nullptr;    // the entries after "<Help>", when given
    const char* current = nullptr; // the entry box's text, when given
    const char* title = nullptr;   // of the last box, when given; "" for none
    std::string text = {};         // %1 the data folder, a trailing * any rest
    Buttons buttons = Buttons::YesNo;
    Icon icon = Icon::Question;
};
class Command : public testing::TestWithParam<Case> {};

TEST_P(Command, ShowsItsBoxAndLeavesTheFocusInTheEntryBoxAndTheControlsAsDesigned) {
    const Case& c = GetParam();
    ConsoleHarness h(console_testing::busWithDevicesAt({7}));
    h.start();
    h.control<QWidget>("vrAddCR")->setFocus();
    run(h, c.steps.c_str());
    EXPECT_EQ(console_testing::focusName(h.form()), "SendMessageList");
    for (QString state : QString::fromLatin1(c.states).split(' ', Qt::SkipEmptyParts)) {
        const bool on = !state.startsWith('!');
        const QStringList parts = state.remove('!').split('.');
        EXPECT_EQ(h.form().findChild<QObject*>(parts[0])->property(parts[1].toLatin1()).toBool(),
                  on)
            << state.toStdString();
    }
    QStringList list;
    for (int i = 1; i < entryBox(h).count(); ++i)
        list << entryBox(h).itemText(i);
    EXPECT_TRUE(!c.list || list.join(',') == c.list) << list.join(',').toStdString();
    EXPECT_TRUE(!c.current || entryBox(h).currentText() == c.current);
    const auto& shown = h.boxes.shown();
    if (!c.title || (*c.title == 0 && shown.empty())) return;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(testing_support::utf8(shown.back().title), c.title);
    EXPECT_EQ(shown.back().buttons, c.buttons);
    EXPECT_EQ(shown.back().icon, c.icon);
    const QString text = QString::fromStdString(c.text).replace("%1", h.dataFolderPath());
    const QString actual = QString::fromStdU16String(shown.back().text);
    EXPECT_TRUE(text.isEmpty() || actual == text ||
                (text.endsWith('*') && actual.startsWith(text.chopped(1))))
        << actual.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    MessageLists, Command,
    testing::Values(
        Case{"Sort", "L:SET?,*IDN?,set? I:1 T:SortMessageList", kChanged, "*IDN?,SET?,set?", "",
             "Sort Outgoing Messages",
             "This will sort the entries in the current Outgoing Message List. \n"
             "It can't be undone but nothing will be saved.\n\n" +
                 kAsk},
        Case{"ClearWithText", "I:2 N T:ClrMessageList", kUnchanged, kDefault, nullptr,
             "Clear Outgoing Messages",
             clearText("Select the Clear Messages button [X] if you want to clear only the "
                       "currently shown Outgoing Message.\n\n")},
        Case{"Clear", "+:DeleteOutgoingMessageEntry T:ClrMessageList",
             "ClearHistory.enabled !DeleteOutgoingMessageEntry.enabled", "", "",
             "Clear Outgoing Messages", clearText("\n")},
        Case{"Delete", std::string("L:A,B,C I:1 ") + kX,
             "ClearHistory.enabled SendMessage.enabled DeleteOutgoingMessageEntry.enabled", "B,C",
             "B", "Delete Entry",
             "Do you really want to delete the selected entry in Outgoing Message List ?",
             Buttons::YesNo, Icon::None},
        Case{"DeleteLast", std::string("L:A,B,C I:3 ") + kX, kChanged, "A,B", "B"},
        Case{"DeleteOnly", std::string("L:A I:1 ") + kX, kChanged, "", "<Help>"},
        Case{"DeleteNo", std::string("L:A,B,C I:2 N ") + kX, kUnchanged, "A,B,C", "B"},
        Case{"DeleteTyped", std::string("L:A,B,C U:CheckListForMatch I:2 K:B ") + kX, kUnchanged,
             "A,B,C", "", ""},
        Case{"ReloadUnchanged", "+:LoadStartupMessageList T:LoadStartupMessageList", kUnchanged,
             kDefault, nullptr, "Reload Start Up Outgoing Messages", kReload + kAsk},
        Case{"Reload", "L:X M W:StartUp.gmg C:ClearHistory", kUnchanged, "MEAS?,CONF", nullptr,
             "Reload Start Up Outgoing Messages", kReload + kDiscard + kAsk},
        Case{"ReloadUnwritable", "L:A M G:no/StartUp.gmg T:LoadStartupMessageList", kChanged, "A",
             nullptr, "File Read error",
             "Can't read the file %1/no/StartUp.gmg: the file does not exist.\n\n"
             "The Outgoing Message List was not changed.",
             Buttons::Ok, Icon::Exclamation},
        Case{"Restore", "L:X M T:RestoreMessageList", kUnchanged, kDefault, nullptr,
             "Restore Outgoing Messages",
             "This will restore the Outgoing Message List with default values and save it to "
             "the start up file.\n\n" +
                 kDiscard + kAsk},
        Case{"RestoreUnwritable", "L:X M G:no/StartUp.gmg T:RestoreMessageList", kChanged, "X",
             nullptr, "File Write error",
             "Can't write to the file %1/no/StartUp.gmg. It is probably write protected.",
             Buttons::Ok, Icon::Exclamation},
        Case{"Load", "W:b.gmg P:b.gmg T:ImportAlternateMessageList", kChanged, "MEAS?,CONF",
             nullptr, ""},
        Case{"LoadOverAChangedListNo", "M N T:ImportAlternateMessageList", kChanged, kDefault,
             nullptr, "Load Alternate Outgoing Messages",
             "This will load an alternate Outgoing Message List. The current Outgoing Message "
             "List will be discarded.\n\n" +
                 kDiscard + kAsk},
        Case{"LoadUnreadable", "P:b.gmg T:ImportAlternateMessageList", kUnchanged, kDefault,
             nullptr, "File Read error", "", Buttons::Ok, Icon::Exclamation},
        Case{"LoadTooLong", "H:b.gmg P:b.gmg T:ImportAlternateMessageList", kChanged, nullptr,
             nullptr, "Message List too long",
             "The file %1/b.gmg holds more than 32766 messages, more than an Outgoing Message "
             "List can hold.\n\nOnly the first 32766 were read; saving the list would drop the "
             "others.",
             Buttons::Ok, Icon::Exclamation},
        Case{"Save", "L:M M T:SaveMessageList", kUnchanged, "M", nullptr, "Save Outgoing Messages",
             "This will save the current Outgoing Message List to the file which is loaded at "
             "start up.\n\n" +
                 kAsk},
        Case{"SaveAlternateUnwritable", "M D:b.gmg P:b.gmg T:SaveAlternateMessageList", kChanged,
             nullptr, nullptr, "File Write error",
             "Can't write to the file %1/b.gmg. It is probably write protected.", Buttons::Ok,
             Icon::Exclamation}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DataFiles, Command,
    testing::Values(
        Case{"SendToDevice", "C:AddressButton_0 T:SendToDevice", "SendToDevice.enabled", nullptr,
             nullptr, "Warning",
             "NOTE!  For this data transfer to a device the timeout will be set to 100 secs which "
             "means that\nin case of an error in the transfer the computer will appear locked for "
             "this amount of time.\n\nThis message will be displayed only once.\n\nDo you wish to "
             "continue ?",
             Buttons::YesNo, Icon::Exclamation},
        Case{"SendToDeviceQuestion", "W:a.dat P:a.dat C:AddressButton_0 T:SendToDevice", "",
             nullptr, nullptr, "Send Datafile to Device",
             "Are you sure you want to send the content of the file: a.dat\nto the device at "
             "address 7."},
        Case{"SendToDeviceUnreadable", "P:a.dat C:AddressButton_0 T:SendToDevice", "", nullptr,
             nullptr, "Send Datafile to Device", "The file\n%1/a.dat\ncannot be read: *",
             Buttons::Ok, Icon::Exclamation},
        Case{"ShowDataFile", "T:DisplayFile", "", nullptr, nullptr, ""},
        Case{"Once", "T:SendtoFileOnce", kOnceOn}, Case{"AllTheTime", "T:SendToFile", kAllOn},
        Case{"OnceTwice", "T:SendtoFileOnce T:SendtoFileOnce", kModesOff},
        Case{"AllTwice", "T:SendToFile T:SendToFile", kModesOff},
        Case{"ReceiveRefused", "T:SendtoFileOnce N S:NEVER?", kOnceOn, kDefault, nullptr, "Warning",
             "NOTE!  For incoming data transfer to a file the timeout will be set to 100 secs "
             "which means that\nin case of a syntax error in the query the computer will appear "
             "locked for this amount of time.\nYou may prevent this by enabling the Syntax Check "
             "feature. Also be aware of that the incoming\ndata will not be displayed in the "
             "Incoming Data list.\n\nThis message will be displayed only once.\n\nDo you wish to "
             "continue ?",
             Buttons::YesNo, Icon::Exclamation},
        Case{"ReceiveOnce", "T:SendtoFileOnce P:a.dat S:*IDN?",
             "!SendtoFileOnce.checked AutoClear.enabled ClearIncoming.enabled ClrIncoming.enabled"},
        Case{"ReceiveTimeout", "T:SendtoFileOnce P:a.dat S:NONE?", "", nullptr, nullptr,
             "Timeout Has Occured",
             "This may be due to either a syntax error or a transfer longer than 100 secs. In the "
             "latter case the\ndata transfer may be incomplete and there is probably remaining "
             "data in the device's output buffer.\nTo clear, uncheck \"Send Received Data to "
             "File\" and send a single questionmark (?).",
             Buttons::Ok, Icon::Exclamation},
        Case{"ReceiveIntoAMissingFolder", "T:SendtoFileOnce P:no/a.dat S:*IDN?", "", nullptr,
             nullptr, "Receive Data to File",
             "The received data cannot be written to the file\n%1/no/a.dat\n(*", Buttons::Ok,
             Icon::Exclamation}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
