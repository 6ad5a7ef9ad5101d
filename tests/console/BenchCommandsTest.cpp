#include "console/ConsoleHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace console_testing;

TEST(BenchCommands, ABenchFileClosesTheWindowToStartAgainOnIt) {
    EXPECT_EQ(console::benchBackEnd("/b/run.JSONL"), "replay:/b/run.JSONL");
    EXPECT_EQ(console::benchBackEnd("/b/dmm.yaml"), "sim:/b/dmm.yaml");

    ConsoleHarness h;
    h.start().show();
    run(h, "T:BenchFromFile"); // the file dialog cancelled
    EXPECT_TRUE(h.form().isVisible());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "");

    h.fileDialogs.answerNext(platform::FileChoice{u"/b/run.jsonl", u"run.jsonl"});
    run(h, "T:BenchFromFile");
    EXPECT_FALSE(h.form().isVisible());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "replay:/b/run.jsonl");
}

TEST(BenchCommands, SaveBenchAsIsOnlyForABenchThatCanBeSavedAndReportsAFailure) {
    ConsoleHarness h;
    h.start();
    run(h, "X:SaveBenchAs.enabled");

    std::string savedTo;
    h.form().benchCommands().setSaveBench([&](const std::string& path) {
        savedTo = path;
        return std::string("disk full");
    });
    h.fileDialogs.answerNext(platform::FileChoice{u"/b/bench.yaml", u"bench.yaml"});
    run(h, "O:SaveBenchAs.enabled T:SaveBenchAs");

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
    run(h, "T:Interface");
    EXPECT_EQ(shownPort, QStringLiteral("/dev/ttyUSB7"));
    EXPECT_TRUE(h.form().isVisible());
    EXPECT_FALSE(h.form().benchCommands().interfaceChosen());

    answer(true);
    run(h, "T:Interface");
    EXPECT_FALSE(h.form().isVisible());
    EXPECT_TRUE(h.form().benchCommands().interfaceChosen());
    EXPECT_EQ(h.form().benchCommands().requestedBackEnd(), "prologix:/dev/ttyUSB7");
}

} // namespace
