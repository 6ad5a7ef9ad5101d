#include "console/InterfaceDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace console {

namespace {

bool startsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

} // namespace

std::string backEndOf(const InterfaceChoice& choice) {
    using Kind = InterfaceChoice::Kind;
    switch (choice.kind) {
    case Kind::Simulated:
        return "sim";
    case Kind::Library:
        return "gpib";
    case Kind::Prologix:
    case Kind::Ar488:
        break;
    }
    const std::string name = choice.kind == Kind::Prologix ? "prologix:" : "ar488:";
    if (choice.serial) return name + choice.port;
    const bool v6 = choice.host.find(':') != std::string::npos;
    return name + (v6 ? "[" + choice.host + "]" : choice.host) + ":" +
           std::to_string(choice.tcpPort);
}

InterfaceChoice interfaceOf(const std::string& backEnd) {
    InterfaceChoice choice;
    if (backEnd == "gpib" || backEnd == "auto") choice.kind = InterfaceChoice::Kind::Library;
    const bool prologix = startsWith(backEnd, "prologix:");
    if (!prologix && !startsWith(backEnd, "ar488:")) return choice;
    choice.kind = prologix ? InterfaceChoice::Kind::Prologix : InterfaceChoice::Kind::Ar488;
    std::string error;
    const bus::adapter::AdapterAddress address =
        bus::adapter::parseAdapterAddress(backEnd.substr(backEnd.find(':') + 1), 1234, error);
    choice.serial = address.serial;
    choice.port = address.port;
    choice.host = address.host;
    choice.tcpPort = address.tcpPort > 0 ? address.tcpPort : 1234;
    return choice;
}

std::string interfaceCaption(const std::string& backEnd) {
    const InterfaceChoice choice = interfaceOf(backEnd);
    if (choice.kind != InterfaceChoice::Kind::Prologix &&
        choice.kind != InterfaceChoice::Kind::Ar488)
        return {};
    return std::string(choice.kind == InterfaceChoice::Kind::Prologix ? "Prologix" : "AR488") +
           " on " + backEnd.substr(backEnd.find(':') + 1);
}

std::optional<std::string> askInterface(QWidget* parent, const std::string& current,
                                        bool libraryLoads,
                                        const std::vector<bus::adapter::SerialPortInfo>& ports) {
    const InterfaceChoice start = interfaceOf(current);
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("InterfaceDialog"));
    dialog.setWindowTitle(QStringLiteral("Interface"));
    auto* layout = new QVBoxLayout(&dialog);

    auto* kinds = new QButtonGroup(&dialog);
    const auto addKind = [&](const QString& text, InterfaceChoice::Kind kind) {
        auto* button = new QRadioButton(text, &dialog);
        kinds->addButton(button, static_cast<int>(kind));
        layout->addWidget(button);
        button->setChecked(start.kind == kind);
        return button;
    };
    addKind(QStringLiteral("&Simulated bench"), InterfaceChoice::Kind::Simulated);
    addKind(QStringLiteral("GPIB &library"), InterfaceChoice::Kind::Library)
        ->setEnabled(libraryLoads);
    addKind(QStringLiteral("&Prologix adapter (GPIB-USB or GPIB-ETHERNET)"),
            InterfaceChoice::Kind::Prologix);
    addKind(QStringLiteral("&AR488 adapter"), InterfaceChoice::Kind::Ar488);

    auto* form = new QFormLayout;
    auto* serial = new QRadioButton(QStringLiteral("Serial p&ort:"), &dialog);
    auto* network = new QRadioButton(QStringLiteral("&Network host:"), &dialog);
    auto* portBox = new QComboBox(&dialog);
    portBox->setObjectName(QStringLiteral("SerialPort"));
    portBox->setEditable(true);
    for (const bus::adapter::SerialPortInfo& port : ports) {
        const QString name = QString::fromStdString(port.name);
        portBox->addItem(port.description.empty()
                             ? name
                             : name + QStringLiteral(" - ") +
                                   QString::fromStdString(port.description),
                         name);
    }
    if (!start.port.empty()) portBox->setEditText(QString::fromStdString(start.port));
    auto* host = new QLineEdit(QString::fromStdString(start.host), &dialog);
    host->setObjectName(QStringLiteral("Host"));
    auto* tcpPort = new QSpinBox(&dialog);
    tcpPort->setObjectName(QStringLiteral("TcpPort"));
    tcpPort->setRange(1, 65535);
    tcpPort->setValue(start.tcpPort);
    form->addRow(serial, portBox);
    form->addRow(network, host);
    form->addRow(QStringLiteral("&TCP port:"), tcpPort);
    layout->addLayout(form);
    (start.serial ? serial : network)->setChecked(true);

    const auto update = [=] {
        const int kind = kinds->checkedId();
        const bool adapter = kind == static_cast<int>(InterfaceChoice::Kind::Prologix) ||
                             kind == static_cast<int>(InterfaceChoice::Kind::Ar488);
        serial->setEnabled(adapter);
        network->setEnabled(adapter);
        portBox->setEnabled(adapter && serial->isChecked());
        host->setEnabled(adapter && network->isChecked());
        tcpPort->setEnabled(adapter && network->isChecked());
    };
    QObject::connect(kinds, &QButtonGroup::idClicked, &dialog, update);
    QObject::connect(serial, &QRadioButton::toggled, &dialog, update);
    update();

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    InterfaceChoice chosen;
    chosen.kind = static_cast<InterfaceChoice::Kind>(std::max(kinds->checkedId(), 0));
    chosen.serial = serial->isChecked();
    // A port picked from the list is its name; one typed in is the text.
    const int picked = portBox->findText(portBox->currentText());
    chosen.port = (picked >= 0 ? portBox->itemData(picked).toString() : portBox->currentText())
                      .trimmed()
                      .toLocal8Bit()
                      .toStdString();
    chosen.host = host->text().trimmed().toStdString();
    chosen.tcpPort = tcpPort->value();
    return backEndOf(chosen);
}

} // namespace console
