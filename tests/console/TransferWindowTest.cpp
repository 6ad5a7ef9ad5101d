#include "console/ConsoleHarness.h"
#include "console/TransferProgress.h"

#include <gtest/gtest.h>

namespace {

using console_testing::BenchConsole;

// A stopped answer shows nothing of itself: the read's failure box, no
// answer in the view, and the strip saying how far it got. Closing the
// window during a transfer stops it, and the close steps follow.
TEST(TransferWindow, AStoppedAnswerIsReportedNotShownAndAClosingStopsTheTransferFirst) {
    BenchConsole c(bus::SimulatedBus::defaultBench(), 2);
    c.form().console().monitor().stopAfter(2000);
    c.send(QStringLiteral("CURV?")); // its box is the read's, see StopPartWay
    EXPECT_EQ(c.view().find(u"22: "), std::u16string::npos) << "no partial answer";
    EXPECT_TRUE(c.form().transferProgress().text().startsWith(QStringLiteral("Stopped: ")));
    c.markTrace();
    // Queued before the cycle, the close arrives while the cycle lets events
    // run before its read.
    QMetaObject::invokeMethod(&c.form(), &QWidget::close, Qt::QueuedConnection);
    c.send(QStringLiteral("CURV?"));
    EXPECT_EQ(c.reads(), 0);
    ASSERT_EQ(c.boxes.shown().size(), 2u);
    EXPECT_EQ(c.boxes.shown()[1].title, u"I/O Error");
    QCoreApplication::processEvents();
    EXPECT_FALSE(c.form().isVisible());
    EXPECT_EQ(c.traceSinceMark().back().op, QStringLiteral("ibonl")); // the bus handed back
}

TEST(TransferWindow, ProgressTellsBytesTimeAndRate) {
    using std::chrono::milliseconds;
    EXPECT_EQ(console::progressText(1234567, milliseconds(2500)),
              u"1,234,567 bytes in 2.5 s, 493.8 kB/s");
    EXPECT_EQ(console::progressText(3'000'000, milliseconds(1000)),
              u"3,000,000 bytes in 1.0 s, 3.0 MB/s");
}

} // namespace
