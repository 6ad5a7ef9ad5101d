#include "about/AboutCommand.h"
#include "console/ManualForm.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireAbout() {
    auto* command = new about::AboutCommand(*this);
    connect(ui_->About, &QAction::triggered, command, &about::AboutCommand::About_Click);
}

} // namespace console
