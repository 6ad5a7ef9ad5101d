#include "console/ManualForm.h"

#include "messagelist/MessageList.h"

#include "ui_ManualForm.h"

namespace console {

void ManualForm::wireMessageList() {
    using messagelist::MessageList;
    auto* list = new MessageList(*this);

    connect(ui_->SortMessageList, &QAction::triggered, list, &MessageList::SortMessageList_Click);
    connect(ui_->ClrMessageList, &QAction::triggered, list, &MessageList::ClrMessageList_Click);
    connect(ui_->SaveMessageList, &QAction::triggered, list, &MessageList::SaveMessageList_Click);
    connect(ui_->LoadStartupMessageList, &QAction::triggered, list,
            &MessageList::LoadStartupMessageList_Click);
    connect(ui_->RestoreMessageList, &QAction::triggered, list,
            &MessageList::RestoreMessageList_Click);
    connect(ui_->ImportAlternateMessageList, &QAction::triggered, list,
            &MessageList::ImportAlternateMessageList_Click);
    connect(ui_->SaveAlternateMessageList, &QAction::triggered, list,
            &MessageList::SaveAlternateMessageList_Click);
    connect(ui_->ClearHistory, &QPushButton::clicked, list, &MessageList::ClearHistory_Click);
    connect(ui_->DeleteOutgoingMessageEntry, &QPushButton::clicked, list,
            &MessageList::DeleteOutgoingMessageEntry_Click);

    messageListHooks_.ReadMessageList = [list](const std::u16string& path) {
        list->ReadMessageList(path);
    };
    messageListHooks_.WriteMessageList = [list](const std::u16string& path) {
        std::u16string copy = path;
        list->WriteMessageList(copy);
    };
}

} // namespace console
