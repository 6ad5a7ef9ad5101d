#include "console/ConsoleHarness.h"
#include "console/WindowGrowth.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>

namespace {

using namespace console_testing;
using platform::Answer;

// --- Layout ---------------------------------------------------------------------

// No named control sticks out of the frame it sits in.
void expectInsideTheirFrames(QWidget& area) {
    for (QWidget* child : area.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        EXPECT_TRUE(name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
                    child->parentWidget()->rect().contains(child->geometry()))
            << name.toStdString();
    }
}

TEST(Layout, TabOrderUniqueAccessKeysNothingOutsideItsFrame) {
    ConsoleHarness h;
    auto& form = h.create();
    form.show();

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

    expectInsideTheirFrames(*form.centralWidget());
}

// Every control placed by hand in the client area, by name, where it is now.
std::map<QString, QRect> placedControls(QWidget& area) {
    std::map<QString, QRect> placed;
    for (QWidget* child : area.findChildren<QWidget*>()) {
        QWidget* parent = child->parentWidget();
        if (parent == &area || parent->parentWidget() == &area)
            placed[child->objectName()] = child->geometry();
    }
    return placed;
}

// The window grows: the incoming view takes the room, the controls at the
// frames' right and bottom edges keep their distance to them, everything
// else stays; back at the designed size, every control is where it was,
// and the window is never smaller than designed.
TEST(Layout, TheIncomingViewTakesTheRoomTheWindowGrows) {
    ConsoleHarness h;
    auto& form = h.create();
    form.show();
    QWidget& area = *form.centralWidget();
    const QSize designed = area.size();
    const auto before = placedControls(area);

    form.resize(form.size() + QSize(100, 80));
    const auto after = placedControls(area);
    const auto moved = [&](const char* name) {
        const QRect a = before.at(QString::fromLatin1(name)),
                    b = after.at(QString::fromLatin1(name));
        return std::array<int, 4>{b.x() - a.x(), b.y() - a.y(), b.width() - a.width(),
                                  b.height() - a.height()};
    };
    using Change = std::array<int, 4>; // dx, dy, dw, dh
    EXPECT_EQ(moved("ReceivedMessages"), (Change{0, 0, 100, 80}));
    EXPECT_EQ(moved("Frame3"), (Change{0, 0, 100, 80}));
    EXPECT_EQ(moved("ClearIncoming"), (Change{100, 80, 0, 0}));
    EXPECT_EQ(moved("Command_Exit"), (Change{0, 80, 0, 0}));
    EXPECT_EQ(moved("TransferProgress"), (Change{0, 80, 100, 0}));
    EXPECT_EQ(moved("SendMessageList"), (Change{0, 0, 100, 0}));
    EXPECT_EQ(moved("SendMessage"), (Change{100, 0, 0, 0}));
    EXPECT_EQ(moved("IdAll"), (Change{0, 0, 0, 0}));
    EXPECT_EQ(moved("AddressButton_0"), (Change{0, 0, 0, 0}));
    EXPECT_EQ(moved("AllowMultipleCommands"), (Change{0, 0, 0, 0}));
    expectInsideTheirFrames(area);

    form.resize(200, 200);
    EXPECT_EQ(area.size(), designed);
    EXPECT_EQ(placedControls(area), before);
}

// No caption is cut off in the sans-serif faces Debian installs by default
// (the program's own stand-ins for the designed face are not there). The
// faces are loaded from their files, so the machine's font setup plays no
// part; ctest runs this once more at a scale of 1.5 (144 dpi).
struct Face {
    const char* name;
    const char* file;
};

class Captions : public testing::TestWithParam<Face> {};

TEST_P(Captions, FitTheirControls) {
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(GetParam().file));
    if (id < 0) GTEST_SKIP() << GetParam().file << " is not installed";
    const QString family = QFontDatabase::applicationFontFamilies(id).constFirst();
    ConsoleHarness h;
    auto& form = h.create();
    QFont font = form.font();
    font.setFamilies({family});
    form.setFont(font);
    form.show();
    QCoreApplication::processEvents();

    int captions = 0;
    for (QWidget* child : form.centralWidget()->findChildren<QWidget*>()) {
        const int needed = console::captionWidth(*child);
        if (needed == 0 || !child->isVisibleTo(&form)) continue;
        ++captions;
        if (!child->font().bold()) {
            EXPECT_EQ(child->fontInfo().family(), family);
        }
        EXPECT_LE(needed, child->width()) << child->objectName().toStdString();
        EXPECT_TRUE(child->parentWidget()->rect().contains(child->geometry()))
            << child->objectName().toStdString();
    }
    EXPECT_GE(captions, 15);
}

const Face kFaces[] = {
    {"DejaVuSans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
    {"NotoSans", "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf"},
};

INSTANTIATE_TEST_SUITE_P(DefaultFaces, Captions, testing::ValuesIn(kFaces),
                         [](const auto& info) { return std::string(info.param.name); });

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
