#include "exchange/ExchangeFixture.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using exchange_testing::ExchangeConsole;

// Id All lets events run while it prints each answer. An Enter queued behind
// its click must not run a send cycle then: the descriptor points at the
// device Id All is visiting, not at the one the operator selected.
TEST(BusGuard, AnEnterQueuedDuringIdAllWritesNothing) {
    ExchangeConsole c;
    c.check("vrIDN")->setChecked(true);
    c.check("vrID")->setChecked(false);
    c.type(QStringLiteral("*RST"));
    c.markTrace();

    QCoreApplication::postEvent(c.editor(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    c.button("IdAll")->click();
    QCoreApplication::processEvents();

    EXPECT_EQ(c.writes(), (std::vector<QString>{QStringLiteral("*IDN?"), QStringLiteral("*IDN?"),
                                                QStringLiteral("*IDN?")}));
    EXPECT_EQ(c.h.form().session().devices.SelectedAddress, 5);
    // Once Id All is over, the bus takes the message again, to the selected device.
    c.enter();
    EXPECT_EQ(c.writes().back(), QStringLiteral("*RST"));
}

// A typed message that was sent and recorded is the selected entry: "X"
// offers to delete it, whether it was added or matched an entry.
TEST(SentMessage, StaysSelectedSoXOffersToDeleteIt) {
    for (const char* typed : {"CONF:VOLT", "*rst"}) {
        SCOPED_TRACE(typed);
        ExchangeConsole c;
        c.send(QString::fromLatin1(typed));
        const QString recorded = c.box()->currentText();
        c.h.boxes.answerNext(platform::Answer::Yes);
        QTest::mouseClick(c.button("DeleteOutgoingMessageEntry"), Qt::LeftButton);

        ASSERT_EQ(c.h.boxes.shown().size(), 1u);
        EXPECT_EQ(c.h.boxes.shown().front().title, u"Delete Entry");
        EXPECT_EQ(c.list().indexOf(recorded), -1) << recorded.toStdString();
    }
}

} // namespace
