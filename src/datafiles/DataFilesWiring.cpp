#include "console/ManualForm.h"
#include "datafiles/DataFiles.h"
#include "exchange/ReceiveToFile.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireDataFiles() {
    auto* dataFiles = new datafiles::DataFiles(*this);
    connect(ui_->SendToDevice, &QAction::triggered, dataFiles,
            &datafiles::DataFiles::SendToDevice_Click);
    connect(ui_->DisplayFile, &QAction::triggered, dataFiles,
            &datafiles::DataFiles::DisplayFile_Click);

    // Qt switches the check marks itself before the handlers run.
    auto* toFile = new exchange::ReceiveToFile(*this);
    connect(ui_->SendtoFileOnce, &QAction::triggered, toFile,
            &exchange::ReceiveToFile::SendtoFileOnce_Triggered);
    connect(ui_->SendToFile, &QAction::triggered, toFile,
            &exchange::ReceiveToFile::SendToFile_Triggered);
    hooks_.ReceiveToFile = [toFile](const std::u16string& outgoing) {
        return toFile->transfer(outgoing);
    };
    hooks_.SendtoFileOnce_Click = [toFile] { toFile->SendtoFileOnce_Click(); };
}

} // namespace console
