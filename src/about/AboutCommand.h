#pragma once

#include "core/Version.h"
#include "platform/Download.h"

#include <QObject>

#include <memory>
#include <string>

class QComboBox;
class QWidget;

namespace console {
struct ConsoleState;
}
namespace platform {
class MessageBoxes;
class Shell;
} // namespace platform

namespace about {

// The program's web site: VIREON_UPDATE_URL when it names one, else the
// built-in address.
std::u16string updateWebSite();

// The main window's About menu entry: shows the About dialog modally.
class AboutCommand : public QObject {
    Q_OBJECT
public:
    // The dialog belongs to `window`; the focus goes back to `entryBox`;
    // download defaults to the network.
    AboutCommand(QWidget& window, const console::ConsoleState& state, platform::MessageBoxes& boxes,
                 platform::Shell& shell, const console::VersionTexts& version, QComboBox& entryBox,
                 std::unique_ptr<platform::Download> download = nullptr);
    ~AboutCommand() override;

    void About_Click();

private:
    QWidget& window_;
    const console::ConsoleState& state_;
    platform::MessageBoxes& boxes_;
    platform::Shell& shell_;
    const console::VersionTexts& version_;
    QComboBox& entryBox_;
    std::unique_ptr<platform::Download> download_;
};

} // namespace about
