#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class SyntaxCheckForm;
}

namespace syntaxcheck {

// The modal dialog in which the operator picks the syntax-check method of the
// selected device. Only its Close button applies the choice; any other way
// of closing it (Escape, the window's close) leaves everything as it was.
class SyntaxCheckForm : public QDialog {
    Q_OBJECT
public:
    // Applies a chosen method: the caller's set-up, table and button colour.
    using Apply = std::function<void(std::int16_t method)>;

    // `mainWindow` is the parent and the dialog's anchor; `address` and
    // `method` are the selected device's.
    SyntaxCheckForm(QWidget& mainWindow, std::int16_t address, std::int16_t method, Apply apply);
    ~SyntaxCheckForm() override;

    void Close_Button_Click();

    // The method of the option selected now; nothing when none is.
    std::optional<std::int16_t> chosenMethod() const;

    // " Syntax Checking for device at address 5 ": a sign place before the
    // number and a space after it.
    static QString frameCaption(std::int16_t address);

private:
    void Form_Load(QWidget& mainWindow, std::int16_t address, std::int16_t method);

    std::unique_ptr<Ui::SyntaxCheckForm> ui_;
    Apply apply_;
};

} // namespace syntaxcheck
