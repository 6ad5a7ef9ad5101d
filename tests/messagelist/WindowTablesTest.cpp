// The message list and data file commands in the window: the box each shows
// last, and the focus, controls, list and files each leaves.
#include "console/ConsoleHarness.h"
#include "datafiles/DataFiles.h"
#include "exchange/ReceiveToFile.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace console_testing;
using testing_support::utf8;

const std::string kDiscard =
    "Select Yes to continue without saving the current Outgoing Message List.\n\n"
    "Select No if you want to save the current Outgoing Message List and go to MessageLists "
    "Menu.\n\n";
std::string ask(const std::string& text, bool discard = false) {
    return text + (discard ? kDiscard : "") + "Do wish to continue ?";
}
std::string clearText(const std::string& x) {
    return ask("This will clear ALL entries in the current Outgoing Message List.\n" + x +
               "Select Yes to continue without saving the current Outgoing List.\n"
               "If you want to save the List select No and then go to MessageLists Menu.\n\n");
}
const std::string kReload = "This will reload the start up Outgoing Message List.\n\n";
const std::string kDefault = " E:ID?,*IDN?,INIT,FAC,SET?";
const std::string kChanged = " O:ClearHistory.enabled O:LoadStartupMessageList.enabled";
const std::string kUnchanged = " X:ClearHistory.enabled X:LoadStartupMessageList.enabled";
const std::string kOnce = " O:SendtoFileOnce.checked X:SendToFile.checked X:AutoClear.enabled";
const std::string kAll = " O:SendToFile.checked X:SendtoFileOnce.checked X:AutoClear.enabled";
const std::string kOff = " X:SendToFile.checked X:SendtoFileOnce.checked O:AutoClear.enabled";
const std::string kX = " C:DeleteOutgoingMessageEntry";
const std::string kSend = "C:AddressButton_0 T:SendToDevice";

struct Case {
    const char* name;
    std::string steps; // console_testing::run, on a started console, the focus elsewhere
    // The last box: "K title", K: Q YesNo question, N YesNo no icon, W YesNo exclamation,
    // E Ok exclamation, I Ok no icon, R Ok critical, A OkCancel exclamation, C YesNoCancel
    // question; "" for none shown; nullptr for any.
    const char* box;
    std::string text = {}; // %1 the data folder, a trailing * any rest; empty for any
    const char* focus = "SendMessageList"; // nullptr for any
    std::vector<int> devices = {7};
};
class Command : public testing::TestWithParam<Case> {};

TEST_P(Command, ShowsItsBoxAndLeavesTheFocusAndTheRestAsDesigned) {
    using platform::Buttons, platform::Icon;
    const std::map<char, std::pair<Buttons, Icon>> kinds = {
        {'Q', {Buttons::YesNo, Icon::Question}},
        {'N', {Buttons::YesNo, Icon::None}},
        {'W', {Buttons::YesNo, Icon::Exclamation}},
        {'E', {Buttons::Ok, Icon::Exclamation}},
        {'I', {Buttons::Ok, Icon::None}},
        {'R', {Buttons::Ok, Icon::Critical}},
        {'A', {Buttons::OkCancel, Icon::Exclamation}},
        {'C', {Buttons::YesNoCancel, Icon::Question}}};
    const Case& c = GetParam();
    ConsoleHarness h(console_testing::busWithDevicesAt(c.devices));
    h.start().show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h.form()));
    h.control<QWidget>("vrAddCR")->setFocus();
    run(h, c.steps.c_str());
    if (c.focus) {
        EXPECT_EQ(h.focus(), c.focus);
    }
    const auto& shown = h.boxes.shown();
    if (!c.box) return;
    ASSERT_EQ(shown.empty(), *c.box == 0);
    if (shown.empty()) return;
    EXPECT_EQ(utf8(shown.back().title), c.box + 2);
    EXPECT_EQ(std::pair(shown.back().buttons, shown.back().icon), kinds.at(*c.box));
    const QString text = QString::fromStdString(c.text).replace("%1", h.dataFolderPath());
    const QString actual = QString::fromStdU16String(shown.back().text);
    EXPECT_TRUE(text.isEmpty() || actual == text ||
                (text.endsWith('*') && actual.startsWith(text.chopped(1))))
        << actual.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    MessageLists, Command,
    testing::Values(
        Case{"Sort", "L:SET?,*IDN?,set? I:1 T:SortMessageList E:*IDN?,SET?,set? V:" + kChanged,
             "Q Sort Outgoing Messages", "This will sort the entries*"},
        Case{"ClearNo", "I:2 N T:ClrMessageList" + kDefault + kUnchanged,
             "Q Clear Outgoing Messages",
             clearText("Select the Clear Messages button [X] if you want to clear only the "
                       "currently shown Outgoing Message.\n\n")},
        Case{"Clear",
             "+:DeleteOutgoingMessageEntry T:ClrMessageList E: V:" + kChanged +
                 " X:DeleteOutgoingMessageEntry.enabled",
             "Q Clear Outgoing Messages", clearText("\n")},
        Case{"Delete", "L:A,B,C I:1" + kX + " E:B,C V:B O:SendMessage.enabled" + kChanged,
             "N Delete Entry", "Do you really want to delete*"},
        Case{"DeleteLast", "L:A,B,C I:3" + kX + " E:A,B V:B" + kChanged, nullptr},
        Case{"DeleteOnly", "L:A I:1" + kX + " E: V:<Help>" + kChanged, nullptr},
        Case{"DeleteNo", "L:A,B,C I:2 N" + kX + " E:A,B,C V:B" + kUnchanged, nullptr},
        Case{"DeleteTyped", "L:A,B,C U:CheckListForMatch I:2 K:B" + kX + " E:A,B,C V:" + kUnchanged,
             ""},
        Case{"ReloadUnchanged", "+:LoadStartupMessageList T:LoadStartupMessageList" + kUnchanged,
             "Q Reload Start Up Outgoing Messages", ask(kReload)},
        Case{"Reload", "L:X M W:StartUp.gmg C:ClearHistory E:A,B A:StartUp.gmg" + kUnchanged,
             "Q Reload Start Up Outgoing Messages", ask(kReload, true)},
        Case{"ReloadUnwritable", "L:X M G:no/StartUp.gmg T:LoadStartupMessageList E:X" + kChanged,
             "E File Read error",
             "Can't read the file %1/no/StartUp.gmg: the file does not exist.\n\n"
             "The Outgoing Message List was not changed."},
        Case{"Restore",
             "L:X M W:StartUp.gmg T:RestoreMessageList R:StartUp.gmg" + kDefault + kUnchanged,
             "Q Restore Outgoing Messages", "This will restore the Outgoing Message List*"},
        Case{"RestoreUnwritable", "L:X M G:no/StartUp.gmg T:RestoreMessageList E:X" + kChanged,
             "E File Write error", "Can't write to the file %1/no/StartUp.gmg.*"},
        Case{"Load",
             "W:b.gmg P:b.gmg T:ImportAlternateMessageList E:A,B A:b.gmg R:StartUp.gmg" + kChanged,
             ""},
        Case{"LoadOverAChangedListNo", "M N T:ImportAlternateMessageList" + kDefault + kChanged,
             "Q Load Alternate Outgoing Messages", "This will load an alternate*"},
        Case{"LoadUnreadable",
             "W:StartUp.gmg P:b.gmg T:ImportAlternateMessageList F:StartUp.gmg" + kDefault +
                 kUnchanged,
             "E File Read error"},
        Case{"LoadTooLong", "H:b.gmg P:b.gmg T:ImportAlternateMessageList",
             "E Message List too long", "The file %1/b.gmg holds more than 32766 messages*"},
        Case{"Save",
             "W:b.gmg P:b.gmg T:ImportAlternateMessageList T:SaveMessageList A:StartUp.gmg "
             "F:StartUp.gmg" +
                 kUnchanged,
             "Q Save Outgoing Messages", "This will save the current Outgoing Message List*"},
        Case{"SaveAlternate", "P:c.gmg T:SaveAlternateMessageList A:c.gmg R:c.gmg", ""},
        Case{"CompleteFromTheList", "B:CheckListForMatch K:in V:INIT k:Delete V:IN", ""},
        Case{"DownSkipsHelpAndAReleaseOverNothingCompletesToIt",
             "L:A k:Down V:A B:CheckListForMatch L:A r:A V:<Help>", ""},
        Case{"AChosenEntryTakesTheFocusWithTheCaretAtItsEnd",
             "I:2 c:5 O:SendMessage.enabled O:DeleteOutgoingMessageEntry.enabled", ""},
        Case{"TheCaretGoesToTheEndWhenTheFocusComesBack",
             "K:ABC k:Home f:vrAddCR f:SendMessageList c:3", ""},
        Case{"ButtonsCapsAndTrimFollowTheText",
             "K:x O:SendMessage.enabled O:DeleteOutgoingMessageEntry.enabled k:Backspace "
             "X:DeleteOutgoingMessageEntry.enabled B:Caps "
             "K:__meas?_ f:vrAddCR V:MEAS? f:SendMessageList",
             ""},
        Case{"EntriesDifferingInCaseAreMatchedUnlessMultipleAreAllowedAndSelectNextStops",
             "C:AddressButton_0 U:Caps U:CheckListForMatch U:AllowMultipleCommands "
             "U:vrSelectNextListItem S:*idn? V:*IDN?" +
                 kUnchanged +
                 " B:AllowMultipleCommands S:*idn? I:2 k:Return E:ID?,*IDN?,INIT,FAC,SET?,*idn?" +
                 kChanged + " B:vrSelectNextListItem I:6 k:Return V:*idn? I:0 k:Return V:<Help>",
             ""},
        Case{"SaveAlternateUnwritable", "M D:b.gmg P:b.gmg T:SaveAlternateMessageList" + kChanged,
             "E File Write error", "Can't write to the file %1/b.gmg.*"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DataFiles, Command,
    testing::Values(
        Case{"SendToDevice", kSend + " O:SendToDevice.enabled", "W Warning",
             utf8(datafiles::sendToDeviceWarning())},
        Case{"SendToDeviceQuestion", "W:a.dat P:a.dat " + kSend, "Q Send Datafile to Device",
             "Are you sure you want to send the content of the file: a.dat\nto the device at*"},
        Case{"SendToDeviceUnreadable", "P:a.dat " + kSend, "E Send Datafile to Device",
             "The file\n%1/a.dat\ncannot be read: *"},
        Case{"ShowDataFile", "T:DisplayFile", ""},
        Case{"OnceThenOff", "T:SendtoFileOnce" + kOnce + " T:SendtoFileOnce" + kOff, ""},
        Case{"AllOverOnceThenOff", "T:SendtoFileOnce T:SendToFile" + kAll + " T:SendToFile" + kOff,
             ""},
        Case{"ReceiveRefused", "T:SendtoFileOnce N S:NEVER?" + kOnce + kDefault, "W Warning",
             utf8(exchange::receiveToFileWarning())},
        Case{"ReceiveOnce", "T:SendtoFileOnce P:a.dat S:*IDN?" + kOff + " O:ClearIncoming.enabled",
             nullptr},
        Case{"ReceiveTimeout", "T:SendtoFileOnce P:a.dat S:NONE?", "E Timeout Has Occured",
             utf8(exchange::receiveToFileTimeout())},
        Case{"ReceiveIntoAMissingFolder", "T:SendtoFileOnce P:no/a.dat S:*IDN?",
             "E Receive Data to File",
             "The received data cannot be written to the file\n%1/no/a.dat\n(*"}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kTooLarge = " Too large string - 30k list limit exceeded";
const std::string kTooLargeOk = "R" + kTooLarge, kTooLargeOkCancel = "A" + kTooLarge;
const std::vector<int> kThree = {5, 9, 22};

INSTANTIATE_TEST_SUITE_P(
    Console, Command,
    testing::Values(
        Case{"ClickAnAddressThenAnother", "C:AddressButton_1 @: a:9 C:AddressButton_2 @: a:22", "",
             "", "SendMessageList", kThree},
        Case{"SelectDeviceHint",
             "f:ReceivedMessages T:SelectDevice "
             "@:-SendMessageList,-EnableSyntaxCheck,-SendToDevice a:0",
             "I Select Device", "Select a device with the buttons under Device Address.",
             "ReceivedMessages", kThree},
        Case{"SelectDeviceHintWithASelection",
             "C:AddressButton_0 f:ReceivedMessages T:SelectDevice @: a:7", "I Select Device"},
        Case{"SendAQuery",
             "C:AddressButton_0 S:*IDN? @:+SendMessage,+DeleteOutgoingMessageEntry,+ClearIncoming",
             ""},
        Case{"SendANewCommand",
             "C:AddressButton_0 S:CONF @:+SendMessage,+DeleteOutgoingMessageEntry,+ClearHistory",
             ""},
        Case{"HelpMenu", "C:AddressButton_0 K:*RST T:Help @:-SendMessageList,+ClearIncoming,-Help",
             "", "", "CheckListForMatch"}, // the next after the locked box
        Case{"HelpMenuThenClear", "C:AddressButton_0 T:Help C:ClearIncoming @:", ""},
        Case{"HelpEntry", "C:AddressButton_0 I:0 k:Return @:+ClearIncoming,-Help", ""},
        Case{"OptionBoxClick", "C:AddressButton_0 f:vrAddLF C:vrAddLF @:", ""},
        Case{"NoIdQueryChosen", "C:AddressButton_0 C:vrID C:vrIDN @:-IdAll", ""},
        Case{"AutoClearEntry", "C:AddressButton_0 f:ReceivedMessages T:AutoClear @:", ""},
        Case{"TabInTheViewWithNothingToSend",
             "C:AddressButton_0 L:A f:ReceivedMessages t:ReceivedMessages @:", "", "",
             "AddressButton_0"},
        Case{"CloseQuestion", "M Z q", "C Exit", "Changes have been done*", nullptr},
        Case{"AnswerTooLarge", "C:AddressButton_0 Q:29253 S:??", kTooLargeOk.c_str(),
             "This this Incoming Message is too large to capture.*"},
        Case{"AnswerFitsOnlyAlone", "C:AddressButton_0 Q:20000 S:?? Q:10000 S:??",
             kTooLargeOkCancel.c_str(), "To capture this Incoming Message the previous*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageListWindow, AFirstStartWritesTheDefaultListAndAnUnreadableOneIsNeverReplaced) {
    ConsoleHarness h(console_testing::busWithDevicesAt({7}));
    h.start();
    run(h, "R:StartUp.gmg A:StartUp.gmg P:b.gmg T:ImportAlternateMessageList D:sub P:sub/c.gmg");
    run(h, "T:SaveAlternateMessageList R:sub/c.gmg");
    EXPECT_EQ(h.form().state().SelectedDataFolder, file(h, "sub").toStdU16String());
    EXPECT_EQ(asked(h, 0),
              "Open|Load Alternative Outgoing Message List|%1||GPIB Message Files (*.gmg)|*.gmg");
    EXPECT_EQ(
        asked(h, 1),
        "Save|Save Alternate Outgoing Message List|%1|Message|GPIB Message Files (*.gmg)|*.gmg");
    ConsoleHarness blocked(console_testing::busWithDevicesAt({7}));
    ASSERT_TRUE(QDir().mkpath(file(blocked, "StartUp.gmg/kept")));
    blocked.start();
    EXPECT_EQ(blocked.boxes.shown().size(), 1u);
    EXPECT_TRUE(QDir(file(blocked, "StartUp.gmg/kept")).exists());
}

} // namespace
