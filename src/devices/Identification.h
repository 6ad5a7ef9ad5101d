#pragma once

#include "bus/BusSession.h"
#include "console/ConsoleHooks.h"
#include "console/ConsoleState.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace devices {

struct IdentificationControls {
    QCheckBox* vrID = nullptr;
    QCheckBox* vrIDN = nullptr;
    QPushButton* IdAll = nullptr;
    QComboBox* SendMessageList = nullptr;
};

// The choice of identification query ("ID?", "*IDN?") for "&Id All".
class Identification : public QObject {
public:
    Identification(console::ConsoleState& state, const IdentificationControls& controls);

    void vrID_Click();
    void vrIDN_Click();

private:
    void queryChoiceClicked(console::OptionFlag flag);

    console::ConsoleState& state_;
    IdentificationControls controls_;
};

// Which identification queries go out, and the line ends they carry.
struct IdQueries {
    bool id = false;  // "ID?"
    bool idn = false; // "*IDN?"
    bool addCR = false;
    bool addLF = false;
};

// The answer buffer of one device, and the most one read delivers.
inline constexpr std::size_t kIdAnswerLength = 512;

// Asks every device found, the last first, who it is: "ID?" or "*IDN?", or,
// with both chosen, "*IDN?" when "ID?" brought nothing. Each device gets at
// most 300 ms per query and then its standing time-out back. `print` is
// called once per device with SelectedAddress set to it, with the answer
// without line ends or "No response"; afterwards SelectedAddress and the
// descriptor's address are as before. SelectedDeviceIndex is not touched.
void IdentifyAll(bus::BusSession& s, const IdQueries& queries,
                 const std::function<void(const std::u16string&)>& print);

// The text shown for one device's answer: no spaces at either end and no line
// ends anywhere.
std::u16string IdentificationText(std::u16string answer);

struct IdAllControls {
    QCheckBox* vrID = nullptr;
    QCheckBox* vrIDN = nullptr;
    QCheckBox* vrAddCR = nullptr;
    QCheckBox* vrAddLF = nullptr;
    QAction* AutoClear = nullptr;
    QAction* Help = nullptr;
    QPlainTextEdit* ReceivedMessages = nullptr;
    QLabel* ReceivedCharacters = nullptr;
    QComboBox* SendMessageList = nullptr;
};

// "&Id All": one identification line per device in the incoming view.
class IdAllCommand : public QObject {
    Q_OBJECT
public:
    // A child of `window`, whose pointer shows the hourglass while it runs.
    IdAllCommand(QWidget& window, bus::BusSession& session, console::ConsoleHooks& hooks,
                 const IdAllControls& controls);

    void IdAll_Click();

private:
    QWidget& window_;
    bus::BusSession& session_;
    console::ConsoleHooks& hooks_;
    IdAllControls controls_;
};

} // namespace devices
