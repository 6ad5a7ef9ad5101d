#pragma once

#include "console/ConsoleState.h"

#include <QObject>

class QCheckBox;
class QComboBox;
class QPushButton;

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

} // namespace devices
