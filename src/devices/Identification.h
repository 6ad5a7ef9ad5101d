#pragma once

#include "core/ConsoleState.h"
#include "core/IdentifyAll.h"

namespace core {
class Console;
}
namespace exchange {
class AnswerView;
}

#include <QObject>

#include <cstddef>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
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

struct IdAllControls {
    QCheckBox* vrID = nullptr;
    QCheckBox* vrIDN = nullptr;
    QCheckBox* vrAddCR = nullptr;
    QCheckBox* vrAddLF = nullptr;
    QLabel* ReceivedCharacters = nullptr;
    QComboBox* SendMessageList = nullptr;
};

// "&Id All": one identification line per device in the incoming view.
class IdAllCommand : public QObject {
    Q_OBJECT
public:
    // A child of `window`, whose pointer shows the hourglass while it runs.
    IdAllCommand(QWidget& window, core::Console& console, exchange::AnswerView& view,
                 const IdAllControls& controls);

    void IdAll_Click();

private:
    QWidget& window_;
    core::Console& console_;
    exchange::AnswerView& view_;
    IdAllControls controls_;
};

} // namespace devices
