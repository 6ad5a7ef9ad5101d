#include "console/ConsoleHarness.h"

#include <QAction>

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

} // namespace
