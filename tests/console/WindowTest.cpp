#include "console/ConsoleHarness.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace console_testing;
using platform::Answer;

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
}

// --- Closing ------------------------------------------------------------------------

struct CloseCase {
    const char* name;
    const char* how; // the step that closes
    bool changed;
    Answer answer;
    bool closes, listSaved;
};

class Close : public testing::TestWithParam<CloseCase> {};

TEST_P(Close, AsksOnlyForAChangedListAndSavesWhatItShould) {
    const CloseCase& c = GetParam();
    ConsoleHarness h;
    h.start().show();
    // A message sent changes the list, a click the options: each shows whether it was written.
    run(h, c.changed ? "C:AddressButton_0 S:WRITTEN C:vrAddCR" : "C:vrAddCR");
    h.boxes.answerNext(c.answer);
    run(h, c.how);

    const QString startUp = QString::fromStdU16String(h.form().state().StartUpFile);
    EXPECT_EQ(read(startUp).contains("WRITTEN"), c.listSaved);
    EXPECT_EQ(h.boxes.shown().size(), c.changed ? 1u : 0u);
    EXPECT_EQ(h.form().isVisible(), !c.closes);
    EXPECT_EQ(h.settings.read(u"Settings", u"Add CR").has_value(), c.closes);
    EXPECT_EQ(h.form().state().MessageListChanged, !c.closes); // asked again next time
}

const CloseCase kCloses[] = {{"Unchanged", "q", false, Answer::Yes, true, false},
                             {"ChangedYesSaves", "q", true, Answer::Yes, true, true},
                             {"ExitButtonNoDrops", "C:Command_Exit", true, Answer::No, true, false},
                             {"QuitMenuCancelStays", "T:Quit", true, Answer::Cancel, false, false}};
INSTANTIATE_TEST_SUITE_P(Console, Close, testing::ValuesIn(kCloses),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
