#include "datafiles/DataFiles.h"
#include "console/ConsoleHarness.h"
#include "datafiles/DataFolderChoice.h"
#include "datafiles/FileBench.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using console_testing::ConsoleHarness;
using datafiles_testing::FileBench;
using datafiles_testing::fileBenchBus;
using datafiles_testing::writeFile;
using platform::Answer;
using testing_support::utf8;

// ---------------------------------------------------------------------------
// The folder remembered from a pick.

struct FolderCase {
    const char* path;
    const char* folder;
};

class FolderOfChoice : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderOfChoice, IsTheFilesOwnFolder) {
    const FolderCase c = GetParam();
    EXPECT_EQ(QString::fromStdU16String(datafiles::folderOfChoice(
                  QDir::toNativeSeparators(QString::fromUtf8(c.path)).toStdU16String())),
              QDir::toNativeSeparators(QString::fromUtf8(c.folder)));
}

INSTANTIATE_TEST_SUITE_P(Paths, FolderOfChoice,
                         testing::Values(FolderCase{"/data/scope.dat", "/data"},
                                         // The name also stands earlier in the path.
                                         FolderCase{"/Data/runs/Data", "/Data/runs"},
                                         FolderCase{"/logs/scope.dat/scope.dat", "/logs/scope.dat"},
                                         FolderCase{"/a/b/../c/x.dat", "/a/c"},
                                         FolderCase{"/x.dat", "/"}));

// ---------------------------------------------------------------------------
// File to device and show data file, on a console whose only device is the
// file bench at 7.

struct DataFileCommands : testing::Test {
    DataFileCommands() : h(fileBenchBus(device)) {
        h.start().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&h.form()));
        EXPECT_TRUE(files.isValid());
        // The operator picks the device; that enables the command.
        QTest::mouseClick(h.control<QPushButton>("AddressButton_0"), Qt::LeftButton);
        EXPECT_TRUE(h.control<QAction>("SendToDevice")->isEnabled());
        startUpCalls = h.traceLength();
    }

    QString path(const QString& name) const {
        return QDir::toNativeSeparators(files.filePath(name));
    }
    void pick(const QString& name) {
        h.fileDialogs.answerNext(
            platform::FileChoice{path(name).toStdU16String(), name.toStdU16String()});
    }
    void sendToDevice() { h.control<QAction>("SendToDevice")->trigger(); }
    std::int16_t standingTimeout() {
        return h.form().session().binding.ibask(h.form().session().devices.DeviceHandle,
                                                bus::IbaTMO);
    }
    std::vector<QString> transferOps() {
        std::vector<QString> ops;
        const std::vector<QString> all = h.traceOps();
        for (std::size_t i = startUpCalls; i < all.size(); ++i) {
            const QString& op = all[i];
            if (op == QLatin1String("ibtmo") || op == QLatin1String("ibwait") ||
                op == QLatin1String("ibwrtfA"))
                ops.push_back(op);
        }
        return ops;
    }

    FileBench* device = nullptr;
    ConsoleHarness h;
    QTemporaryDir files;
    std::size_t startUpCalls = 0;
};

TEST_F(DataFileCommands, NoToTheWarningDoesNothingAndTheWarningComesAgain) {
    h.boxes.answerNext(Answer::No);
    sendToDevice();
    h.boxes.answerNext(Answer::No);
    sendToDevice();

    ASSERT_EQ(h.boxes.shown().size(), 2u);
    const auto& warning = h.boxes.shown()[0];
    EXPECT_EQ(utf8(warning.title), "Warning");
    EXPECT_EQ(warning.buttons, platform::Buttons::YesNo);
    EXPECT_EQ(warning.icon, platform::Icon::Exclamation);
    EXPECT_EQ(utf8(warning.text),
              "NOTE!  For this data transfer to a device the timeout will be set to 100 secs "
              "which means that\n"
              "in case of an error in the transfer the computer will appear locked for this "
              "amount of time.\n\n"
              "This message will be displayed only once.\n\n"
              "Do you wish to continue ?");
    EXPECT_TRUE(h.fileDialogs.requests().empty());
    EXPECT_TRUE(transferOps().empty());
}

TEST_F(DataFileCommands, AConfirmedFileReachesTheDeviceByteForByte) {
    QByteArray content;
    for (int i = 0; i < 200000; ++i)
        content.append(static_cast<char>((i * 37 + i / 256) & 0xFF));
    ASSERT_TRUE(writeFile(path(QStringLiteral("setup.dat")), content));
    ASSERT_TRUE(writeFile(path(QStringLiteral("other.dat")), "not this"));
    h.form().state().SelectedDataFolder = files.path().toStdU16String();

    // The first pick is refused at the question; the dialog comes back with it.
    pick(QStringLiteral("other.dat"));
    pick(QStringLiteral("setup.dat"));
    h.boxes.answerNext(Answer::Yes); // warning
    h.boxes.answerNext(Answer::No);  // not other.dat
    h.boxes.answerNext(Answer::Yes); // setup.dat
    sendToDevice();

    ASSERT_EQ(h.fileDialogs.requests().size(), 2u);
    const platform::FileDialogRequest& first = h.fileDialogs.requests()[0];
    EXPECT_EQ(first.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(utf8(first.title), "Send Data from File to the Device at Address 7");
    EXPECT_EQ(first.fileName, u"");
    EXPECT_EQ(first.filter, u"Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
    EXPECT_EQ(first.folder, files.path().toStdU16String());
    EXPECT_EQ(h.fileDialogs.requests()[1].fileName,
              path(QStringLiteral("other.dat")).toStdU16String());

    ASSERT_EQ(h.boxes.shown().size(), 3u);
    const auto& question = h.boxes.shown()[1];
    EXPECT_EQ(utf8(question.title), "Send Datafile to Device");
    EXPECT_EQ(question.buttons, platform::Buttons::YesNo);
    EXPECT_EQ(question.icon, platform::Icon::Question);
    EXPECT_EQ(utf8(question.text), "Are you sure you want to send the content of the file: "
                                   "other.dat\nto the device at address 7.");

    EXPECT_EQ(device->messages, 1);
    EXPECT_EQ(device->received, content.toStdString());
    EXPECT_EQ(transferOps(), (std::vector<QString>{"ibtmo", "ibwait", "ibwrtfA", "ibtmo"}));
    EXPECT_EQ(standingTimeout(), bus::T3s);
    EXPECT_EQ(h.form().state().SelectedDataFolder,
              QDir::toNativeSeparators(files.path()).toStdU16String());
    EXPECT_EQ(h.form().cursor().shape(), Qt::ArrowCursor);

    // Warned once per run.
    h.boxes.clear();
    pick(QStringLiteral("other.dat"));
    sendToDevice();
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(h.boxes.shown()[0].title), "Send Datafile to Device");
    EXPECT_EQ(device->received, content.toStdString() + "not this");
}

TEST_F(DataFileCommands, CancelInTheDialogSendsNothing) {
    h.form().state().SelectedDataFolder = u"/before";
    sendToDevice();
    EXPECT_EQ(h.fileDialogs.requests().size(), 1u);
    EXPECT_TRUE(transferOps().empty());
    EXPECT_EQ(h.form().state().SelectedDataFolder, u"/before");
}

TEST_F(DataFileCommands, AFileThatCannotBeReadIsReportedAndNothingIsSent) {
    pick(QStringLiteral("gone.dat"));
    sendToDevice();
    ASSERT_EQ(h.boxes.shown().size(), 3u);
    EXPECT_EQ(utf8(h.boxes.shown()[2].title), "Send Datafile to Device");
    EXPECT_NE(utf8(h.boxes.shown()[2].text).find("cannot be read"), std::string::npos);
    EXPECT_EQ(h.boxes.shown()[2].buttons, platform::Buttons::Ok);
    EXPECT_EQ(device->messages, 0);
    EXPECT_TRUE(transferOps().empty());
}

TEST_F(DataFileCommands, ShowDataFileOpensThePickAndRemembersItsFolder) {
    ASSERT_TRUE(QDir(files.path()).mkpath(QStringLiteral("scope.dat")));
    const QString nested = QStringLiteral("scope.dat/scope.dat");
    ASSERT_TRUE(writeFile(path(nested), "x"));
    h.form().state().SelectedDataFolder = u"/start";
    h.fileDialogs.answerNext(platform::FileChoice{path(nested).toStdU16String(), u"scope.dat"});

    h.control<QAction>("DisplayFile")->trigger();

    ASSERT_EQ(h.fileDialogs.requests().size(), 1u);
    const platform::FileDialogRequest& asked = h.fileDialogs.requests()[0];
    EXPECT_EQ(asked.mode, platform::FileDialogMode::Open);
    EXPECT_EQ(utf8(asked.title), "Show Data File");
    EXPECT_EQ(asked.fileName, u"");
    EXPECT_EQ(asked.folder, u"/start");
    EXPECT_EQ(asked.filter, u"Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
    EXPECT_EQ(h.shell.opened(), (std::vector<std::u16string>{path(nested).toStdU16String()}));
    EXPECT_EQ(h.form().state().SelectedDataFolder,
              path(QStringLiteral("scope.dat")).toStdU16String());

    // The next data-file dialog starts there.
    h.control<QAction>("DisplayFile")->trigger();
    ASSERT_EQ(h.fileDialogs.requests().size(), 2u);
    EXPECT_EQ(h.fileDialogs.requests()[1].folder,
              path(QStringLiteral("scope.dat")).toStdU16String());
    // Cancelled: nothing opened, the folder stays.
    EXPECT_EQ(h.shell.opened().size(), 1u);
    EXPECT_EQ(h.form().state().SelectedDataFolder,
              path(QStringLiteral("scope.dat")).toStdU16String());
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST_F(DataFileCommands, ShowDataFileSaysNothingWhenTheDesktopCannotOpenIt) {
    h.shell.failFromNowOn();
    pick(QStringLiteral("odd.xyz"));
    h.control<QAction>("DisplayFile")->trigger();
    EXPECT_EQ(h.shell.opened().size(), 1u);
    EXPECT_TRUE(h.boxes.shown().empty());
}

} // namespace
