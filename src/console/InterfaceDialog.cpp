#include "console/InterfaceDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <memory>
#include <thread>

namespace console {

namespace {

bool startsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

bool isLan(InterfaceChoice::Kind kind) {
    return kind == InterfaceChoice::Kind::Vxi11 || kind == InterfaceChoice::Kind::Hislip;
}

std::string bracketedHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// "HOST[:PORT][/DEVICE]" of a LAN back end into the choice; a device name
// never holds a slash, so the first one ends the host part.
void readLanArguments(const std::string& args, InterfaceChoice& choice) {
    const std::size_t slash = args.find('/');
    if (slash != std::string::npos) choice.device = args.substr(slash + 1);
    const std::string where = args.substr(0, slash);
    std::string error;
    const bus::adapter::AdapterAddress address = bus::adapter::parseAdapterAddress(where, 0, error);
    choice.host = address.serial ? where : address.host;
    choice.lanPort = address.serial ? 0 : address.tcpPort;
}

} // namespace

std::string backEndOf(const InterfaceChoice& choice) {
    using Kind = InterfaceChoice::Kind;
    switch (choice.kind) {
    case Kind::Simulated:
        return "sim";
    case Kind::Library:
        return "gpib";
    case Kind::Vxi11:
    case Kind::Hislip:
        return (choice.kind == Kind::Vxi11 ? "vxi11:" : "hislip:") + bracketedHost(choice.host) +
               (choice.lanPort > 0 ? ":" + std::to_string(choice.lanPort) : std::string()) +
               (choice.device.empty() ? std::string() : "/" + choice.device);
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
    const bool vxi11 = startsWith(backEnd, "vxi11:");
    if (vxi11 || startsWith(backEnd, "hislip:")) {
        choice.kind = vxi11 ? InterfaceChoice::Kind::Vxi11 : InterfaceChoice::Kind::Hislip;
        choice.serial = false;
        readLanArguments(backEnd.substr(backEnd.find(':') + 1), choice);
        return choice;
    }
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
    if (isLan(choice.kind)) {
        const bool vxi11 = choice.kind == InterfaceChoice::Kind::Vxi11;
        const std::string args = backEnd.substr(backEnd.find(':') + 1);
        const std::string device = !choice.device.empty() ? choice.device
                                   : vxi11                ? "inst0"
                                                          : "hislip0";
        return (vxi11 ? "VXI-11 " : "HiSLIP ") + device + " on " + args.substr(0, args.find('/'));
    }
    if (choice.kind != InterfaceChoice::Kind::Prologix &&
        choice.kind != InterfaceChoice::Kind::Ar488)
        return {};
    return std::string(choice.kind == InterfaceChoice::Kind::Prologix ? "Prologix" : "AR488") +
           " on " + backEnd.substr(backEnd.find(':') + 1);
}

LanFinder systemLanFinder() {
    return {&bus::vxi11::networkInterfaces,
            [](const std::string& broadcast) { return bus::vxi11::findLanInstruments(broadcast); }};
}

std::optional<std::string> askInterface(QWidget* parent, const std::string& current,
                                        bool libraryLoads,
                                        const std::vector<bus::adapter::SerialPortInfo>& ports,
                                        const LanFinder& finder) {
    using Kind = InterfaceChoice::Kind;
    const InterfaceChoice start = interfaceOf(current);
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("InterfaceDialog"));
    dialog.setWindowTitle(QStringLiteral("Interface"));
    auto* layout = new QVBoxLayout(&dialog);

    auto* kinds = new QButtonGroup(&dialog);
    const auto addKind = [&](const QString& text, Kind kind) {
        auto* button = new QRadioButton(text, &dialog);
        kinds->addButton(button, static_cast<int>(kind));
        layout->addWidget(button);
        button->setChecked(start.kind == kind);
        return button;
    };
    addKind(QStringLiteral("&Simulated bench"), Kind::Simulated);
    addKind(QStringLiteral("GPIB &library"), Kind::Library)->setEnabled(libraryLoads);
    addKind(QStringLiteral("&Prologix adapter (GPIB-USB or GPIB-ETHERNET)"), Kind::Prologix);
    addKind(QStringLiteral("&AR488 adapter"), Kind::Ar488);
    addKind(QStringLiteral("&VXI-11 (LAN instrument or LAN/GPIB gateway)"), Kind::Vxi11);
    addKind(QStringLiteral("&HiSLIP"), Kind::Hislip);

    auto* form = new QFormLayout;
    auto* serial = new QRadioButton(QStringLiteral("Serial p&ort:"), &dialog);
    auto* network = new QRadioButton(QStringLiteral("&Network host:"), &dialog);
    auto* portBox = new QComboBox(&dialog);
    portBox->setObjectName(QStringLiteral("SerialPort"));
    portBox->setEditable(true);
    for (const bus::adapter::SerialPortInfo& port : ports) {
        const QString name = QString::fromStdString(port.name);
        portBox->addItem(port.description.empty() ? name
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
    // 0 stands for the protocol's standard port, shown in words.
    auto* lanPort = new QSpinBox(&dialog);
    lanPort->setObjectName(QStringLiteral("LanPort"));
    lanPort->setRange(0, 65535);
    lanPort->setValue(start.lanPort);
    auto* device = new QLineEdit(QString::fromStdString(start.device), &dialog);
    device->setObjectName(QStringLiteral("Device"));
    device->setToolTip(QStringLiteral("gpib0 for a LAN/GPIB gateway's GPIB interface"));
    form->addRow(serial, portBox);
    form->addRow(network, host);
    form->addRow(QStringLiteral("&TCP port:"), tcpPort);
    form->addRow(QStringLiteral("LAN po&rt:"), lanPort);
    form->addRow(QStringLiteral("&Device:"), device);
    layout->addLayout(form);
    (start.serial ? serial : network)->setChecked(true);

    // Find: on request only, on the interface chosen here.
    auto* findRow = new QHBoxLayout;
    auto* interfaces = new QComboBox(&dialog);
    interfaces->setObjectName(QStringLiteral("NetworkInterface"));
    for (const bus::vxi11::NetworkInterface& i :
         finder.interfaces ? finder.interfaces() : std::vector<bus::vxi11::NetworkInterface>{})
        interfaces->addItem(QString::fromStdString(i.name + " (" + i.address + ")"),
                            QString::fromStdString(i.broadcast));
    if (interfaces->count() == 0)
        interfaces->addItem(QStringLiteral("every interface"), QStringLiteral("255.255.255.255"));
    auto* find = new QPushButton(QStringLiteral("&Find"), &dialog);
    find->setObjectName(QStringLiteral("Find"));
    find->setToolTip(QStringLiteral("Look for VXI-11 and HiSLIP instruments on this network"));
    findRow->addWidget(interfaces, 1);
    findRow->addWidget(find);
    layout->addLayout(findRow);
    auto* found = new QListWidget(&dialog);
    found->setObjectName(QStringLiteral("Found"));
    layout->addWidget(found);
    auto* findStatus = new QLabel(&dialog);
    findStatus->setObjectName(QStringLiteral("FindStatus"));
    findStatus->setWordWrap(true);
    layout->addWidget(findStatus);
    auto foundList = std::make_shared<std::vector<bus::vxi11::FoundInstrument>>();

    const auto update = [=] {
        const auto kind = static_cast<Kind>(kinds->checkedId());
        const bool adapter = kind == Kind::Prologix || kind == Kind::Ar488;
        const bool lan = isLan(kind);
        if (lan) network->setChecked(true);
        serial->setEnabled(adapter);
        network->setEnabled(adapter || lan);
        portBox->setEnabled(adapter && serial->isChecked());
        host->setEnabled((adapter || lan) && network->isChecked());
        tcpPort->setEnabled(adapter && network->isChecked());
        lanPort->setEnabled(lan);
        lanPort->setSpecialValueText(kind == Kind::Hislip ? QStringLiteral("standard (4880)")
                                                          : QStringLiteral("standard (111)"));
        device->setEnabled(lan);
        device->setPlaceholderText(kind == Kind::Hislip ? QStringLiteral("hislip0")
                                                        : QStringLiteral("inst0"));
    };
    QObject::connect(kinds, &QButtonGroup::idClicked, &dialog, update);
    QObject::connect(serial, &QRadioButton::toggled, &dialog, update);
    update();

    // Choosing what was found fills the fields. An answer does not tell an
    // instrument from a gateway, so a device typed for the same protocol
    // stays; another protocol's goes back to the standard one.
    QObject::connect(found, &QListWidget::currentRowChanged, &dialog, [=](int row) {
        if (row < 0 || row >= static_cast<int>(foundList->size())) return;
        const bus::vxi11::FoundInstrument& f = (*foundList)[static_cast<std::size_t>(row)];
        const Kind kind = f.hislip ? Kind::Hislip : Kind::Vxi11;
        if (kinds->checkedId() != static_cast<int>(kind)) device->clear();
        kinds->button(static_cast<int>(kind))->setChecked(true);
        host->setText(QString::fromStdString(f.host));
        lanPort->setValue(f.port);
        update();
    });

    // The search runs off the window's thread; its answer comes back as an
    // event to the dialog, and the dialog outlives the thread (declared after it).
    std::jthread search;
    QObject::connect(
        find, &QPushButton::clicked, &dialog, [&, find, found, findStatus, interfaces, foundList] {
            if (!finder.find) return;
            find->setEnabled(false);
            found->clear();
            foundList->clear();
            findStatus->setText(QStringLiteral("Looking..."));
            const std::string broadcast = interfaces->currentData().toString().toStdString();
            search = std::jthread([&dialog, find, found, findStatus, foundList, broadcast,
                                   look = finder.find] {
                bus::vxi11::LanFindResult result = look(broadcast);
                QMetaObject::invokeMethod(
                    &dialog,
                    [find, found, findStatus, foundList, result = std::move(result)] {
                        *foundList = result.found;
                        for (const bus::vxi11::FoundInstrument& f : result.found)
                            found->addItem(QString::fromStdString(f.label()));
                        QString status =
                            result.found.empty()
                                ? QStringLiteral("Nothing answered.")
                                : QString::number(result.found.size()) + QStringLiteral(" found.");
                        for (const std::string& note : result.notes)
                            status += QStringLiteral("\n") + QString::fromStdString(note);
                        findStatus->setText(status);
                        find->setEnabled(true);
                    },
                    Qt::QueuedConnection);
            });
        });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    InterfaceChoice chosen;
    chosen.kind = static_cast<Kind>(std::max(kinds->checkedId(), 0));
    chosen.serial = serial->isChecked();
    // A port picked from the list is its name; one typed in is the text.
    const int picked = portBox->findText(portBox->currentText());
    chosen.port = (picked >= 0 ? portBox->itemData(picked).toString() : portBox->currentText())
                      .trimmed()
                      .toLocal8Bit()
                      .toStdString();
    chosen.host = host->text().trimmed().toStdString();
    chosen.tcpPort = tcpPort->value();
    chosen.lanPort = lanPort->value();
    chosen.device = device->text().trimmed().toStdString();
    return backEndOf(chosen);
}

} // namespace console
