#include "console/ConsoleHarness.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace {

using console_testing::ConsoleHarness;

TEST(BenchCommands, ABenchFileClosesTheWindowToStartAgainOnIt) {
    EXPECT_EQ(console::benchBackEnd("/b/run.JSONL"), "replay:/b/run.JSONL");
    EXPECT_EQ(console::benchBackEnd("/b/dmm.yaml"), "sim:/b/dmm.yaml");

    ConsoleHarness h;
    h.start().show();
    h.fileDialogs.answerNext(std::nullopt);
    h.control<QAction>("BenchFromFile")->trigger();
    EXPECT_TRUE(h.form().isVisible());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "");

    h.fileDialogs.answerNext(platform::FileChoice{u"/b/run.jsonl", u"run.jsonl"});
    h.control<QAction>("BenchFromFile")->trigger();
    EXPECT_FALSE(h.form().isVisible());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "replay:/b/run.jsonl");
}

TEST(BenchCommands, SaveBenchAsIsOnlyForABenchThatCanBeSavedAndReportsAFailure) {
    ConsoleHarness h;
    h.start();
    QAction* save = h.control<QAction>("SaveBenchAs");
    EXPECT_FALSE(save->isEnabled());

    std::string savedTo;
    h.form().benchCommands().setSaveBench([&](const std::string& path) {
        savedTo = path;
        return std::string("disk full");
    });
    ASSERT_TRUE(save->isEnabled());
    h.fileDialogs.answerNext(platform::FileChoice{u"/b/bench.yaml", u"bench.yaml"});
    save->trigger();

    EXPECT_EQ(savedTo, "/b/bench.yaml");
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(h.boxes.shown()[0].title, u"Save Bench As");
    EXPECT_EQ(h.boxes.shown()[0].text,
              u"The bench could not be saved as\n/b/bench.yaml\n(disk full).");
}

// The dialog starts from the interface in use; OK closes the window to start
// again on the choice, Cancel leaves everything as it was.
TEST(BenchCommands, TheInterfaceDialogClosesTheWindowToStartAgainOnTheChoice) {
    ConsoleHarness h;
    h.start().show();
    h.form().benchCommands().setCurrentBackEnd("prologix:/dev/ttyUSB7");
    QString shownPort;
    const auto answer = [&](bool accept) {
        QTimer::singleShot(0, [&, accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog && dialog->objectName() == QStringLiteral("InterfaceDialog"));
            shownPort = dialog->findChild<QComboBox*>(QStringLiteral("SerialPort"))->currentText();
            accept ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    h.control<QAction>("Interface")->trigger();
    EXPECT_EQ(shownPort, QStringLiteral("/dev/ttyUSB7"));
    EXPECT_TRUE(h.form().isVisible());
    EXPECT_FALSE(h.form().benchCommands().interfaceChosen());

    answer(true);
    h.control<QAction>("Interface")->trigger();
    EXPECT_FALSE(h.form().isVisible());
    EXPECT_TRUE(h.form().benchCommands().interfaceChosen());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "prologix:/dev/ttyUSB7");
}

} // namespace
