#include "console/ConsoleHarness.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using console_testing::ConsoleHarness;

// A designed control: geometry in twips relative to its frame (or, for the
// frames, to the client area), caption, tooltip, start state.
struct Designed {
    const char* name;
    const char* parent;
    int left, top, width, height;
    const char* caption;
    const char* toolTip;
    bool enabled;
};

int px(int twips) {
    return (twips * 2 + 15) / 30;
}

// Captions and tooltips keep the designed spelling, typos included.
const Designed kControls[] = {
    {"Frame1", "centralwidget", 120, 120, 6255, 1095, "Device Address", "", true},
    {"vrID", "Frame1", 4620, 780, 555, 195, "I&D?", "", true},
    {"vrIDN", "Frame1", 5400, 780, 795, 195, "*ID&N?", "", true},
    {"IdAll", "Frame1", 5370, 240, 750, 375, "&Id All", "Send ID? to all devices", false},
    {"Frame2", "centralwidget", 120, 1320, 6255, 2175, "Outgoing Message", "", true},
    {"DeleteOutgoingMessageEntry", "Frame2", 120, 240, 315, 315, "X", "Delete the selected entry",
     false},
    {"SendMessageList", "Frame2", 480, 240, 5670, 315, "", "", false},
    {"ClearHistory", "Frame2", 4440, 660, 795, 315, "R&estore",
     "Reset Outgoing Messages to saved entries", false},
    {"SendMessage", "Frame2", 5340, 660, 795, 315, "&Send", "Send Message to Seleceted Device",
     false},
    {"CheckListForMatch", "Frame2", 480, 660, 2775, 195, "Find ma&tching commands", "", true},
    {"Caps", "Frame2", 3420, 660, 735, 195, "C&APS", "", true},
    {"AllowMultipleCommands", "Frame2", 480, 960, 2775, 195, "Allow multi&ple entries of commands",
     "", true},
    {"Label2", "Frame2", 480, 1260, 2385, 195, "Add to end of Outgoing Message:", "", true},
    {"vrAddCR", "Frame2", 3060, 1260, 555, 195, "C&R", "", true},
    {"vrAddLF", "Frame2", 3660, 1260, 495, 195, "&LF", "", true},
    {"vrSelectNextListItem", "Frame2", 480, 1560, 3675, 195,
     "Select next Outgiong Message after send", "", true},
    {"Label1", "Frame2", 480, 1860, 285, 195, "File:", "", true},
    {"OutGoingFile", "Frame2", 840, 1860, 5235, 195, "", "", true},
    {"Frame3", "centralwidget", 120, 3600, 6255, 3855, "Addr   Incoming Message", "", true},
    {"ReceivedMessages", "Frame3", 120, 240, 6015, 3015, "", "", true},
    {"ReceivedCharacters", "Frame3", 1200, 3450, 735, 255, "", "", true},
    {"Label6", "Frame3", 2040, 3480, 1125, 195, "Bytes Received", "", true},
    {"SyntaxErrorMessage", "Frame3", 3480, 3410, 1500, 300, "Syntax Error", "", true},
    {"ClearIncoming", "Frame3", 5340, 3420, 795, 315, "&Clear", "Clear Incoming Message window",
     false},
    {"Command_Exit", "Frame3", 120, 3420, 795, 315, "E&xit", "", true},
    {"TempSendMessageList", "Frame3", 1080, 480, 3615, 315, "", "", true},
    {"Line1", "centralwidget", 0, 0, 6480, 15, "", "", true},
    {"Line2", "centralwidget", 0, 15, 6480, 15, "", "", true},
};

QString captionOf(QWidget* widget) {
    if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) return edit->toPlainText();
    return {};
}

class Layout : public testing::TestWithParam<Designed> {};

TEST_P(Layout, ControlStandsAsDesigned) {
    const Designed& d = GetParam();
    ConsoleHarness h;
    h.create();
    QWidget* widget = h.control<QWidget>(d.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), d.parent);
    EXPECT_EQ(widget->geometry(), QRect(px(d.left), px(d.top), px(d.width), px(d.height)));
    EXPECT_EQ(captionOf(widget).toStdString(), d.caption);
    EXPECT_EQ(widget->toolTip().toStdString(), d.toolTip);
    EXPECT_EQ(widget->isEnabled(), d.enabled);
}

INSTANTIATE_TEST_SUITE_P(ManualForm, Layout, testing::ValuesIn(kControls),
                         [](const testing::TestParamInfo<Designed>& info) {
                             return std::string(info.param.name);
                         });

TEST(LayoutOfTheWindow, ClientAreaIsFixedBelowTheMenuBar) {
    ConsoleHarness h;
    auto& form = h.create();
    form.show();
    EXPECT_EQ(form.centralWidget()->size(), QSize(433, 507));
    EXPECT_EQ(form.height(), 507 + form.menuBar()->height());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    form.hide();
}

TEST(LayoutOfTheWindow, AddressButtonsFormOneExclusiveRow) {
    ConsoleHarness h;
    h.create();
    auto* group = h.control<QButtonGroup>("AddressButton");
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->exclusive());
    ASSERT_EQ(group->buttons().size(), 14);
    for (int k = 0; k < 14; ++k) {
        SCOPED_TRACE(k);
        auto* button = h.control<QPushButton>(("AddressButton_" + std::to_string(k)).c_str());
        EXPECT_EQ(group->id(button), k);
        EXPECT_EQ(button->parentWidget()->objectName(), QStringLiteral("Frame1"));
        EXPECT_EQ(button->geometry(), QRect(px(120 + 375 * k), px(240), 25, 25));
        EXPECT_TRUE(button->isCheckable());
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_EQ(button->toolTip(), QStringLiteral("Double Click for Syntax Check"));
        EXPECT_EQ(button->isEnabled(), k == 0);
    }
}

TEST(LayoutOfTheWindow, FontsAndStartStates) {
    ConsoleHarness h;
    h.create();
    const QFont deleteFont = h.control<QWidget>("DeleteOutgoingMessageEntry")->font();
    EXPECT_TRUE(deleteFont.bold());
    EXPECT_EQ(deleteFont.pointSize(), 12);
    EXPECT_EQ(deleteFont.families().value(0), QStringLiteral("MS Sans Serif"));

    auto* syntaxError = h.control<QLabel>("SyntaxErrorMessage");
    EXPECT_TRUE(syntaxError->isHidden());
    EXPECT_TRUE(syntaxError->font().bold());
    EXPECT_EQ(syntaxError->font().pointSize(), 12);
    EXPECT_EQ(syntaxError->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(h.control<QWidget>("TempSendMessageList")->isHidden());

    // Whatever stands in for Courier New keeps the columns of the answers,
    // wherever the machine has a fixed-pitch font at all. Judged by the
    // glyphs: some fixed-pitch fonts (Noto Sans Mono) do not say they are.
    const auto monospaced = [](const QFont& font) {
        const QFontMetrics metrics(font);
        return metrics.horizontalAdvance(QLatin1Char('i')) ==
               metrics.horizontalAdvance(QLatin1Char('W'));
    };
    const QFont incoming = h.control<QWidget>("ReceivedMessages")->font();
    EXPECT_TRUE(monospaced(incoming) ||
                !monospaced(QFontDatabase::systemFont(QFontDatabase::FixedFont)))
        << QFontInfo(incoming).family().toStdString();
    EXPECT_EQ(incoming.pointSize(), 9);
    EXPECT_EQ(h.control<QPlainTextEdit>("ReceivedMessages")->verticalScrollBarPolicy(),
              Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(h.control<QComboBox>("SendMessageList")->isEditable());
    EXPECT_EQ(h.control<QLabel>("ReceivedCharacters")->palette().color(QPalette::Window),
              QColor(Qt::white));

    QTimer& timer = h.form().Timer1();
    EXPECT_EQ(timer.objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(timer.interval(), 200);
    EXPECT_FALSE(timer.isActive());
}

struct MenuEntry {
    std::string name;
    std::string caption;
    bool enabled;
    bool checkable;
};

std::vector<MenuEntry> entriesOf(const QList<QAction*>& actions) {
    std::vector<MenuEntry> entries;
    for (QAction* a : actions)
        entries.push_back({a->objectName().toStdString(),
                           a->isSeparator() ? "-" : a->text().toStdString(), a->isEnabled(),
                           a->isCheckable()});
    return entries;
}

MATCHER_P4(Entry, name, caption, enabled, checkable, "") {
    return arg.name == name && arg.caption == caption && arg.enabled == enabled &&
           arg.checkable == checkable;
}

TEST(LayoutOfTheWindow, MenusAsDesigned) {
    using testing::ElementsAre;
    ConsoleHarness h;
    h.create();
    std::vector<std::string> bar;
    for (QAction* a : h.form().menuBar()->actions())
        bar.push_back(a->text().toStdString());
    EXPECT_THAT(bar, ElementsAre("&File", "&Message Lists", "&Help", "A&bout"));
    EXPECT_EQ(h.control<QMenu>("File")->title(), QStringLiteral("&File"));
    EXPECT_EQ(h.control<QMenu>("History")->title(), QStringLiteral("&Message Lists"));
    EXPECT_EQ(h.control<QAction>("Help")->text(), QStringLiteral("&Help"));
    EXPECT_EQ(h.control<QAction>("About")->text(), QStringLiteral("A&bout"));

    EXPECT_THAT(
        entriesOf(h.control<QMenu>("File")->actions()),
        ElementsAre(Entry("SelectDevice", "Select &Device", true, false),
                    Entry("EnableSyntaxCheck", "Syntax &Check", false, false),
                    Entry("Fs1", "-", true, false),
                    Entry("AutoClear", "Auto Clear &Incoming Message Box", true, true),
                    Entry("SendtoFileOnce", "Send Received Data To File &Once", true, true),
                    Entry("SendToFile", "Send Received Data To File &All the Time", true, true),
                    Entry("Fs2", "-", true, false),
                    Entry("DisplayFile", "Show Data &File", true, false),
                    Entry("SendToDevice", "&Send Data From File to Selected Device", false, false),
                    Entry("Fs3", "-", true, false), Entry("Quit", "E&xit", true, false)));
    EXPECT_THAT(
        entriesOf(h.control<QMenu>("History")->actions()),
        ElementsAre(
            Entry("SortMessageList", "Sort Outgoing &Message List", true, false),
            Entry("ClrMessageList", "&Clear Outgoing Message List", true, false),
            Entry("SaveMessageList", "&Save Outgoing Message List", true, false),
            Entry("LoadStartupMessageList", "&Reload Start Up Outgoing Message List", true, false),
            Entry("Ms1", "-", true, false),
            Entry("RestoreMessageList", "Restore &Default Outgoing Message List", true, false),
            Entry("Ms2", "-", true, false),
            Entry("ImportAlternateMessageList", "Load an &Alternate Outgoing Message List", true,
                  false),
            Entry("SaveAlternateMessageList", "Save an Alternate &Outgoing Message List", true,
                  false),
            Entry("Ms3", "-", true, false),
            Entry("ClrIncoming", "Clear &Incoming Message List", false, false)));
    for (QAction* a : h.control<QMenu>("File")->actions())
        EXPECT_FALSE(a->isChecked());
}

TEST(LayoutOfTheWindow, TabOrderAsDesigned) {
    ConsoleHarness h;
    h.create();
    std::vector<std::string> expected;
    for (int k = 0; k < 14; ++k)
        expected.push_back("AddressButton_" + std::to_string(k));
    for (const char* name :
         {"IdAll", "vrID", "vrIDN", "DeleteOutgoingMessageEntry", "SendMessageList",
          "CheckListForMatch", "Caps", "AllowMultipleCommands", "vrAddCR", "vrAddLF",
          "ClearHistory", "SendMessage", "ReceivedMessages", "ClearIncoming", "TempSendMessageList",
          "vrSelectNextListItem", "Command_Exit"})
        expected.push_back(name);

    // The focus chain, from the first address button, of the controls that
    // can take the focus.
    std::vector<std::string> chain;
    QWidget* first = h.control<QWidget>("AddressButton_0");
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus) {
            const std::string name = w->objectName().toStdString();
            if (std::find(expected.begin(), expected.end(), name) != expected.end())
                chain.push_back(name);
        }
        w = w->nextInFocusChain();
    } while (w != first && chain.size() < 100);
    EXPECT_EQ(chain, expected);
}

} // namespace
