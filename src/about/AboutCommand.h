#pragma once

#include "platform/Download.h"

#include <QObject>

#include <memory>
#include <string>

namespace console {
class ManualForm;
}

namespace about {

// The program's web site: VIREON_UPDATE_URL when it names one, else the
// built-in address.
std::u16string updateWebSite();

// The main window's About menu entry: shows the About dialog modally.
class AboutCommand : public QObject {
    Q_OBJECT
public:
    // A child of the window; download defaults to the network.
    explicit AboutCommand(console::ManualForm& form,
                          std::unique_ptr<platform::Download> download = nullptr);
    ~AboutCommand() override;

    void About_Click();

private:
    console::ManualForm& form_;
    std::unique_ptr<platform::Download> download_;
};

} // namespace about
