#pragma once

#include "console/ConsoleHarness.h"
#include "messagelist/MessageListTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

namespace messagelist_testing {

// A console with one device (so the entry box and the Message Lists menu are
// on), its data folder in a temporary folder.
class ListConsole {
public:
    ListConsole() : h(console_testing::busWithDevicesAt({5})) {}

    // Puts a start-up list in place before the console starts.
    void seedStartUp(const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(h.dataFolderPath()));
        ASSERT_TRUE(writeBytes(startUpPath(), bytes));
    }
    console::ManualForm& start() {
        console::ManualForm& form = h.start();
        return form;
    }

    QString startUpPath() const {
        return h.dataFolderPath() + QDir::separator() + QStringLiteral("StartUp.gmg");
    }
    QString dataFolder() const { return h.dataFolderPath(); }

    QComboBox& box() { return *h.control<QComboBox>("SendMessageList"); }
    QAction& action(const char* name) { return *h.control<QAction>(name); }
    QPushButton& button(const char* name) { return *h.control<QPushButton>(name); }
    QString outGoingFile() { return h.control<QLabel>("OutGoingFile")->text(); }
    QStringList list() { return entries(box()); }
    // Fills the list as the send cycle would have, the box left empty.
    void setList(const QStringList& list) {
        box().clear();
        box().addItems(list);
        box().setCurrentIndex(-1);
        box().clearEditText();
    }
    bool& changed() { return h.form().state().MessageListChanged; }

    // Both reload controls, which always change together.
    bool reloadEnabled() {
        const bool enabled = button("ClearHistory").isEnabled();
        EXPECT_EQ(enabled, action("LoadStartupMessageList").isEnabled());
        return enabled;
    }

    // The one box shown since the last call, as UTF-8; fails if not one.
    testing_support::ScriptedMessageBoxes::Shown onlyBox() {
        const auto shown = h.boxes.shown();
        h.boxes.clear();
        EXPECT_EQ(shown.size(), 1u);
        if (shown.empty()) return {};
        return shown.front();
    }

    QString focus() { return console_testing::focusName(h.form()); }

    console_testing::ConsoleHarness h;
};

inline std::string u8(std::u16string_view text) {
    return testing_support::utf8(text);
}

inline std::u16string u16(const QString& text) {
    return text.toStdU16String();
}

} // namespace messagelist_testing
