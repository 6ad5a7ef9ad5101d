#include "syntaxcheck/SyntaxCheckForm.h"

#include "ui_SyntaxCheckForm.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>

namespace syntaxcheck {

namespace {
// The dialog's top-left corner, from the main window's.
constexpr QPoint kOffset{4, 104};
} // namespace

SyntaxCheckForm::SyntaxCheckForm(QWidget& mainWindow, std::int16_t address, std::int16_t method,
                                 Apply apply)
    : QDialog(&mainWindow, Qt::Dialog | Qt::CustomizeWindowHint),
      ui_(std::make_unique<Ui::SyntaxCheckForm>()), apply_(std::move(apply)) {
    ui_->setupUi(this);
    // The option index is the method plus one.
    ui_->SyntaxCheckMethod->setId(ui_->SyntaxCheckMethod_0, 0);
    ui_->SyntaxCheckMethod->setId(ui_->SyntaxCheckMethod_1, 1);
    ui_->SyntaxCheckMethod->setId(ui_->SyntaxCheckMethod_2, 2);
    // The designed face is rarely installed outside Windows.
    QFont face = font();
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed")});
    face.setStyleHint(QFont::SansSerif);
    setFont(face);
    connect(ui_->Close_Button, &QPushButton::clicked, this, &SyntaxCheckForm::Close_Button_Click);
    Form_Load(mainWindow, address, method);
}

SyntaxCheckForm::~SyntaxCheckForm() = default;

QString SyntaxCheckForm::frameCaption(std::int16_t address) {
    const QString number =
        address < 0 ? QString::number(address) : QLatin1Char(' ') + QString::number(address);
    return QStringLiteral(" Syntax Checking for device at address") + number + QLatin1Char(' ');
}

void SyntaxCheckForm::Form_Load(QWidget& mainWindow, std::int16_t address, std::int16_t method) {
    ui_->Frame1->setTitle(frameCaption(address));
    move(mainWindow.pos() + kOffset);
    // A value outside the three methods leaves every option unselected.
    if (QAbstractButton* option = ui_->SyntaxCheckMethod->button(method + 1))
        option->setChecked(true);
}

std::optional<std::int16_t> SyntaxCheckForm::chosenMethod() const {
    for (int i = 0; i < 3; ++i) {
        if (ui_->SyntaxCheckMethod->button(i)->isChecked()) return static_cast<std::int16_t>(i - 1);
    }
    return std::nullopt;
}

void SyntaxCheckForm::Close_Button_Click() {
    if (const std::optional<std::int16_t> method = chosenMethod(); method && apply_)
        apply_(*method);
    accept();
}

} // namespace syntaxcheck
