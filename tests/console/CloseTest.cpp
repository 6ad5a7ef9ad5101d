#include "console/ConsoleHarness.h"
#include <QComboBox>
#include <QFile>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using console_testing::ConsoleHarness;
using testing_support::utf8;

const char* const kQuestion =
    "Changes have been done to the current Outgoing Message List.\n\n\n"
    "Select Yes to save it as the default start file.\n\n"
    "Selec No to Exit without save.\n\n"
    "Select Cancel and go to Outgoing Message List menu to save it as an alternate Message "
    "List file.";

// A started console whose outgoing list writer is recorded.
struct ClosingConsole {
    ClosingConsole() {
        auto& form = h.start();
        form.show();
        // A mark in the list shows whether the start-up file was written.
        h.control<QComboBox>("SendMessageList")->addItem(QStringLiteral("WRITTEN?"));
        // One changed option, to see whether the unload ran.
        h.control<QCheckBox>("vrAddCR")->click();
    }
    bool optionsSaved() const { return !h.memorySettings.writes().empty(); }
    bool listSaved() {
        QFile file(QString::fromStdU16String(h.form().state().StartUpFile));
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("WRITTEN?");
    }

    ConsoleHarness h;
};

TEST(Close, AnUnchangedListClosesWithoutAQuestion) {
    ClosingConsole c;
    EXPECT_TRUE(c.h.form().close());
    EXPECT_TRUE(c.h.boxes.shown().empty());
    EXPECT_FALSE(c.listSaved());
    EXPECT_TRUE(c.optionsSaved());
    EXPECT_FALSE(c.h.form().isVisible());
}

TEST(Close, YesSavesTheListAsTheStartUpFile) {
    ClosingConsole c;
    c.h.form().state().MessageListChanged = true;
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(c.h.form().close());

    ASSERT_EQ(c.h.boxes.shown().size(), 1u);
    const auto& box = c.h.boxes.shown().front();
    EXPECT_EQ(utf8(box.text), kQuestion);
    EXPECT_EQ(utf8(box.title), "Exit");
    EXPECT_EQ(box.buttons, platform::Buttons::YesNoCancel);
    EXPECT_EQ(box.icon, platform::Icon::Question);
    EXPECT_TRUE(c.listSaved());
    EXPECT_FALSE(c.h.form().state().MessageListChanged);
    EXPECT_TRUE(c.optionsSaved());
}

TEST(Close, NoClosesWithoutSavingTheList) {
    ClosingConsole c;
    c.h.form().state().MessageListChanged = true;
    c.h.boxes.answerNext(platform::Answer::No);
    EXPECT_TRUE(c.h.form().close());
    EXPECT_EQ(c.h.boxes.shown().size(), 1u);
    EXPECT_FALSE(c.listSaved());
    EXPECT_TRUE(c.optionsSaved());
}

TEST(Close, CancelKeepsTheWindowAndAsksAgainNextTime) {
    ClosingConsole c;
    auto& form = c.h.form();
    form.state().MessageListChanged = true;
    c.h.boxes.answerNext(platform::Answer::Cancel);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.state().MessageListChanged);
    EXPECT_FALSE(c.optionsSaved());
    EXPECT_FALSE(c.listSaved());

    // The list is still unsaved: the next close must not lose it silently.
    c.h.boxes.answerNext(platform::Answer::Yes);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(c.h.boxes.shown().size(), 2u);
    EXPECT_TRUE(c.listSaved());
    EXPECT_TRUE(c.optionsSaved());
}

TEST(Close, TheExitButtonAndTheQuitEntryAskTheSameQuestion) {
    for (const char* how : {"Command_Exit", "Quit"}) {
        SCOPED_TRACE(how);
        ClosingConsole c;
        c.h.form().state().MessageListChanged = true;
        c.h.boxes.answerNext(platform::Answer::Cancel);
        if (std::string(how) == "Quit")
            c.h.control<QAction>(how)->trigger();
        else
            c.h.control<QPushButton>(how)->click();
        ASSERT_EQ(c.h.boxes.shown().size(), 1u);
        EXPECT_EQ(utf8(c.h.boxes.shown().front().title), "Exit");
        EXPECT_TRUE(c.h.form().isVisible());

        c.h.boxes.answerNext(platform::Answer::No);
        if (std::string(how) == "Quit")
            c.h.control<QAction>(how)->trigger();
        else
            c.h.control<QPushButton>(how)->click();
        EXPECT_FALSE(c.h.form().isVisible());
        EXPECT_TRUE(c.optionsSaved());
    }
}

} // namespace
