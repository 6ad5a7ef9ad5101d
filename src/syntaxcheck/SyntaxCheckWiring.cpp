#include "console/ManualForm.h"

#include "ui_ManualForm.h"

#include "devices/Identification.h"
#include "syntaxcheck/SyntaxChecking.h"

namespace console {

void ManualForm::wireSyntaxCheck() {
    using syntaxcheck::SyntaxChecking;

    syntaxcheck::SyntaxCheckingControls controls;
    controls.SyntaxErrorMessage = ui_->SyntaxErrorMessage;
    controls.Timer1 = &Timer1_;
    controls.AddressButton = devicePanelControls().AddressButton;
    auto* check = new SyntaxChecking(*this, session_, controls);

    connect(&Timer1_, &QTimer::timeout, &check->blink(),
            &syntaxcheck::SyntaxErrorBlink::Timer1_Timer);
    hooks_.SyntaxMethodSet = [check] { return check->SyntaxMethodSet(); };
    hooks_.PreWriteClearing = [check] { check->PreWriteClearing(); };
    hooks_.CheckSyntax = [check](std::int16_t descriptor) { check->CheckSyntax(descriptor); };
    devicePanel_.showSyntaxCheckDialog = [check] { check->showSyntaxCheckForm(); };

    devices::IdAllControls idAll;
    idAll.vrID = ui_->vrID;
    idAll.vrIDN = ui_->vrIDN;
    idAll.vrAddCR = ui_->vrAddCR;
    idAll.vrAddLF = ui_->vrAddLF;
    idAll.AutoClear = ui_->AutoClear;
    idAll.Help = ui_->Help;
    idAll.ReceivedMessages = ui_->ReceivedMessages;
    idAll.ReceivedCharacters = ui_->ReceivedCharacters;
    idAll.SendMessageList = ui_->SendMessageList;
    auto* identify = new devices::IdAllCommand(*this, session_, hooks_, idAll);
    connect(ui_->IdAll, &QPushButton::clicked, identify, &devices::IdAllCommand::IdAll_Click);
}

} // namespace console
