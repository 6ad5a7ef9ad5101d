#include "console/ManualForm.h"

#include "exchange/Exchange.h"
#include "messagelist/EntryBox.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireExchange() {
    using exchange::Exchange;
    using messagelist::EntryBox;

    exchange::ExchangeControls controls;
    controls.SendMessageList = ui_->SendMessageList;
    controls.SendMessage = ui_->SendMessage;
    controls.DeleteOutgoingMessageEntry = ui_->DeleteOutgoingMessageEntry;
    controls.ClearHistory = ui_->ClearHistory;
    controls.ClearIncoming = ui_->ClearIncoming;
    controls.AddressButton0 = ui_->AddressButton_0;
    controls.ReceivedMessages = ui_->ReceivedMessages;
    controls.ReceivedCharacters = ui_->ReceivedCharacters;
    controls.SyntaxErrorMessage = ui_->SyntaxErrorMessage;
    controls.vrAddCR = ui_->vrAddCR;
    controls.vrAddLF = ui_->vrAddLF;
    controls.AllowMultipleCommands = ui_->AllowMultipleCommands;
    controls.vrSelectNextListItem = ui_->vrSelectNextListItem;
    controls.AutoClear = ui_->AutoClear;
    controls.SendToFile = ui_->SendToFile;
    controls.SendtoFileOnce = ui_->SendtoFileOnce;
    controls.ClrIncoming = ui_->ClrIncoming;
    controls.LoadStartupMessageList = ui_->LoadStartupMessageList;
    controls.Help = ui_->Help;
    auto* exchange = new Exchange(*this, controls);

    connect(ui_->SendMessage, &QPushButton::clicked, exchange, &Exchange::SendMessage_Click);
    connect(ui_->ClearIncoming, &QPushButton::clicked, exchange, &Exchange::ClearIncoming_Click);
    connect(ui_->ClrIncoming, &QAction::triggered, exchange, &Exchange::ClrIncoming_Click);
    // Qt has toggled the entry and the options have marked it changed.
    connect(ui_->AutoClear, &QAction::triggered, exchange, &Exchange::AutoClear_Click);
    connect(ui_->Help, &QAction::triggered, exchange, &Exchange::Help_Click);

    hooks_.PrintMessageList = [exchange](const std::u16string& answer) {
        exchange->PrintMessageList(answer);
    };
    hooks_.SendMessage_Click = [exchange] { exchange->SendMessage_Click(); };

    messagelist::EntryBoxControls entry;
    entry.SendMessageList = ui_->SendMessageList;
    entry.SendMessage = ui_->SendMessage;
    entry.DeleteOutgoingMessageEntry = ui_->DeleteOutgoingMessageEntry;
    entry.Caps = ui_->Caps;
    entry.CheckListForMatch = ui_->CheckListForMatch;
    new EntryBox(
        entry, [exchange] { exchange->SendMessage_Click(); }, this);
}

} // namespace console
