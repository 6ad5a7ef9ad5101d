// What the data file commands and the receiving into a file add to the bus
// routines: the pick, the file that replaces the chosen one, the caption.
#include "console/ConsoleHarness.h"
#include "datafiles/DataFolderChoice.h"

#include <gtest/gtest.h>

namespace {

using namespace console_testing;

TEST(FolderOfChoice, IsTheFilesOwnFolder) {
    for (const auto& [path, folder] : {std::pair{"/D/runs/D", "/D/runs"},
                                       {"/a/b/../c/x", "/a/c"},
                                       {"/x.dat", "/"},
                                       {"/l/s.dat/s.dat", "/l/s.dat"}})
        EXPECT_EQ(datafiles::folderOfChoice(QDir::toNativeSeparators(path).toStdU16String()),
                  QDir::toNativeSeparators(folder).toStdU16String());
}

struct DataFiles : testing::Test {
    DataFiles() : h(console_testing::busWithDevicesAt({7})) {
        h.start();
        h.form().state().SelectedDataFolder = u"/start";
    }
    ConsoleHarness h;
};

TEST_F(DataFiles, SendToDeviceSendsThePickAfterTheQuestionAndWarnsOncePerRun) {
    // The first pick refused at the question: the dialog comes back with it.
    run(h, "W:a.dat P:no.dat P:a.dat C:AddressButton_0 Y N T:SendToDevice P:a.dat T:SendToDevice");
    const QString title = "Open|Send Data from File to the Device at Address 7|";
    const QString filter = "|Data Files (*.dat)|*.dat|All Files (*.*)|*.*";
    EXPECT_EQ(asked(h, 0), title + "/start|" + filter);
    EXPECT_EQ(asked(h, 1), title + "/start|%1" + QDir::separator() + "no.dat" + filter);
    EXPECT_EQ(asked(h, 2), title + "%1|" + filter);
    std::vector<QString> sent;
    for (const auto& call : h.trace())
        if (call.op == "ibwrtfA") sent.push_back(call.args[1].toString());
    EXPECT_EQ(sent, std::vector<QString>(2, file(h, "a.dat")));
    EXPECT_EQ(h.boxes.shown().size(), 4u); // the warning once, the question three times
}

TEST_F(DataFiles, ShowDataFileOpensThePickAndRemembersItsFolder) {
    run(h, "P:x.xyz T:DisplayFile T:DisplayFile");
    EXPECT_EQ(asked(h, 0),
              "Open|Show Data File|/start||Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
    EXPECT_EQ(asked(h, 1), "Open|Show Data File|%1||Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
    EXPECT_EQ(h.shell.opened(), std::vector<std::u16string>{file(h, "x.xyz").toStdU16String()});
}

TEST_F(DataFiles, ReceivedDataReplacesThePickOnlyWhenSomethingArrived) {
    ASSERT_TRUE(write(file(h, "old.dat"), "keep me"));
    run(h, "T:SendToFile P:old.dat S:NONE? =:ReceivedCharacters.text=0_"); // a time-out
    EXPECT_EQ(read(file(h, "old.dat")), "keep me");
    run(h, "P:old.dat S:*IDN? =:ReceivedCharacters.text=47_");
    EXPECT_EQ(read(file(h, "old.dat")), "Vireon Sim,VGD-488 General Device,SN000000,1.0\n");
    EXPECT_EQ(QDir(h.dataFolderPath()).entryList(QDir::Files),
              QStringList({"History.jsonl", "old.dat", "StartUp.gmg"}));
    EXPECT_EQ(asked(h, 0),
              "Save|Save Incoming Message to File|/start|Data|Data Files (*.dat)|*.dat");
    EXPECT_EQ(asked(h, 1), "Save|Save Incoming Message to File|%1|Data|Data Files (*.dat)|*.dat");
    EXPECT_EQ(h.boxes.shown().size(), 2u); // the warning once, the time-out
    EXPECT_TRUE(h.form().state().SettingsChanged[console::FlagSendToFile]);
}

} // namespace
