#include "console/ManualForm.h"

#include "ui_ManualForm.h"

#include "bus/Discovery.h"
#include "platform/qt/QtText.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLayout>
#include <QStringList>

namespace console {

namespace {

constexpr int kTimer1Interval = 200;

std::u16string closeQuestion() {
    return u"Changes have been done to the current Outgoing Message List.\n\n\n"
           u"Select Yes to save it as the default start file.\n\n"
           u"Selec No to Exit without save.\n\n"
           u"Select Cancel and go to Outgoing Message List menu to save it as an alternate "
           u"Message List file.";
}

} // namespace

std::unique_ptr<Ui::ManualForm> ManualForm::setUpUi(QMainWindow& window) {
    auto ui = std::make_unique<Ui::ManualForm>();
    ui->setupUi(&window);
    return ui;
}

ManualForm::ManualForm(const ConsoleSeams& seams, QWidget* parent)
    : QMainWindow(parent), ui_(setUpUi(*this)), fileDialogs_(seams.fileDialogs),
      shell_(seams.shell), dataFolder_(seams.dataFolder), simulatedBus_(seams.simulatedBus),
      version_(buildVersion()), session_(seams.driver, seams.boxes, seams.exit),
      options_(state_, seams.settings, optionControls()),
      devicePanel_(session_, devicePanelControls()),
      identification_(state_, identificationControls()), addressDoubleClicks_(*ui_->AddressButton) {
    // The client area below the menu bar is fixed; the window follows it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui_->Line1->setBackgroundRole(QPalette::Dark);
    applyFontFallbacks();

    Timer1_.setObjectName(QStringLiteral("Timer1"));
    Timer1_.setInterval(kTimer1Interval);

    wire();
    wireExchange();
    wireMessageList();
    wireSyntaxCheck();
    wireDataFiles();
    wireAbout();
}

ManualForm::~ManualForm() = default;

OptionControls ManualForm::optionControls() const {
    return {ui_->vrID,
            ui_->vrIDN,
            ui_->CheckListForMatch,
            ui_->Caps,
            ui_->AllowMultipleCommands,
            ui_->vrAddCR,
            ui_->vrAddLF,
            ui_->vrSelectNextListItem,
            ui_->AutoClear,
            ui_->SendToFile,
            ui_->SendMessageList};
}

devices::DevicePanelControls ManualForm::devicePanelControls() const {
    devices::DevicePanelControls controls;
    controls.AddressButton = {ui_->AddressButton_0,  ui_->AddressButton_1,  ui_->AddressButton_2,
                              ui_->AddressButton_3,  ui_->AddressButton_4,  ui_->AddressButton_5,
                              ui_->AddressButton_6,  ui_->AddressButton_7,  ui_->AddressButton_8,
                              ui_->AddressButton_9,  ui_->AddressButton_10, ui_->AddressButton_11,
                              ui_->AddressButton_12, ui_->AddressButton_13};
    controls.AddressButtonGroup = ui_->AddressButton;
    controls.SendMessageList = ui_->SendMessageList;
    controls.History = ui_->History->menuAction();
    controls.EnableSyntaxCheck = ui_->EnableSyntaxCheck;
    controls.SendToDevice = ui_->SendToDevice;
    return controls;
}

devices::IdentificationControls ManualForm::identificationControls() const {
    return {ui_->vrID, ui_->vrIDN, ui_->IdAll, ui_->SendMessageList};
}

void ManualForm::applyFontFallbacks() {
    // The designed sans-serif face is rarely installed outside Windows; its
    // stand-ins, closest first, keep the designed captions inside their
    // designed widths.
    const QStringList sansSerif{
        QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Tahoma"),          QStringLiteral("Arial"),
        QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed")};
    for (QWidget* widget :
         {static_cast<QWidget*>(this), static_cast<QWidget*>(ui_->DeleteOutgoingMessageEntry),
          static_cast<QWidget*>(ui_->SyntaxErrorMessage)}) {
        QFont font = widget->font();
        if (font.family() != sansSerif.constFirst()) continue;
        font.setFamilies(sansSerif);
        font.setStyleHint(QFont::SansSerif);
        widget->setFont(font);
    }

    // The incoming view lines answers up in columns: whatever stands in for
    // the designed font must be fixed-pitch.
    QFont incoming = ui_->ReceivedMessages->font();
    incoming.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(incoming).fixedPitch()) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(incoming.pointSizeF());
        incoming = fixed;
    }
    ui_->ReceivedMessages->setFont(incoming);
}

void ManualForm::wire() {
    using devices::DevicePanel;
    using devices::Identification;

    connect(ui_->AddressButton, &QButtonGroup::idClicked, &devicePanel_,
            &DevicePanel::AddressButton_Click);
    connect(&addressDoubleClicks_, &devices::DoubleClicks::doubleClicked, &devicePanel_,
            &DevicePanel::AddressButton_DblClick);
    connect(ui_->SelectDevice, &QAction::triggered, &devicePanel_,
            &DevicePanel::SelectDevice_Click);
    connect(ui_->EnableSyntaxCheck, &QAction::triggered, &devicePanel_,
            &DevicePanel::EnableSyntaxCheck_Click);

    // A box's handler runs on every change of its state, the load's included.
    connect(ui_->vrID, &QCheckBox::toggled, &identification_, &Identification::vrID_Click);
    connect(ui_->vrIDN, &QCheckBox::toggled, &identification_, &Identification::vrIDN_Click);
    connect(ui_->CheckListForMatch, &QCheckBox::toggled, &options_,
            &Options::CheckListForMatch_Click);
    connect(ui_->Caps, &QCheckBox::toggled, &options_, &Options::Caps_Click);
    connect(ui_->AllowMultipleCommands, &QCheckBox::toggled, &options_,
            &Options::AllowMultipleCommands_Click);
    connect(ui_->vrAddCR, &QCheckBox::toggled, &options_, &Options::vrAddCR_Click);
    connect(ui_->vrAddLF, &QCheckBox::toggled, &options_, &Options::vrAddLF_Click);
    connect(ui_->vrSelectNextListItem, &QCheckBox::toggled, &options_,
            &Options::vrSelectNextListItem_Click);
    // Only the operator triggers these; the load sets them without a signal.
    connect(ui_->AutoClear, &QAction::triggered, &options_, &Options::AutoClear_Changed);
    connect(ui_->SendToFile, &QAction::triggered, &options_, &Options::SendToFile_Changed);

    connect(ui_->Command_Exit, &QPushButton::clicked, this, &ManualForm::Command_Exit_Click);
    connect(ui_->Quit, &QAction::triggered, this, &ManualForm::Quit_Click);
}

void ManualForm::Form_Load() {
    setWindowTitle(platform::toQString(
        windowCaption(version_.VersionText, version_.VersionDate, simulatedBus_)));

    // Take the bus: interface clear, then remote enable.
    bus::Binding& binding = session_.binding;
    binding.SendIFC(0);
    binding.ibsre(0, 1);
    session_.devices.TimeoutCode = bus::T3s;
    bus::FindListeners(session_);
    session_.devices.DeviceHandle = bus::OpenDevice(session_);

    prepareDataFolder();
    if (state_.DataFolderUsable && messageListHooks_.ReadMessageList)
        messageListHooks_.ReadMessageList(state_.StartUpFile);

    devicePanel_.showDevicesFound();
    devicePanel_.selectLoneDevice();
    loaded_ = true;
}

void ManualForm::prepareDataFolder() {
    const platform::PreparedDataFolder folder = dataFolder_.prepare();
    state_.DataFolder = folder.path;
    state_.StartUpFile = platform::joinPath(folder.path, u"StartUp.gmg");
    state_.DataFolderUsable = folder.usable;
    if (folder.usable) return;
    session_.boxes.show(u"The data folder\n" + folder.path + u"\ncould not be created: " +
                            folder.error +
                            u".\n\nThe console goes on without its start-up message list.",
                        u"Data Folder", platform::Buttons::Ok, platform::Icon::Exclamation);
}

void ManualForm::Form_Activate() {
    if (!loaded_ || state_.Activated) return;
    if (session_.devices.count() != 1) {
        // Nothing is selected until the operator picks a device.
        QButtonGroup* group = ui_->AddressButton;
        group->setExclusive(false);
        ui_->AddressButton_0->setChecked(false);
        group->setExclusive(true);
        ui_->DeleteOutgoingMessageEntry->setEnabled(false);
        ui_->ReceivedMessages->setFocus();
    } else {
        ui_->SendMessageList->setFocus();
    }
    options_.load();
    state_.Activated = true;
}

void ManualForm::Form_QueryUnload(bool& cancel) {
    if (!state_.MessageListChanged) return;
    const platform::Answer answer = session_.boxes.show(
        closeQuestion(), u"Exit", platform::Buttons::YesNoCancel, platform::Icon::Question);
    if (answer == platform::Answer::Cancel) {
        // The list is still unsaved, so the next close must ask again.
        cancel = true;
        return;
    }
    if (answer == platform::Answer::Yes && messageListHooks_.WriteMessageList)
        messageListHooks_.WriteMessageList(state_.StartUpFile);
    state_.MessageListChanged = false;
}

void ManualForm::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    options_.save();
}

void ManualForm::Command_Exit_Click() {
    close();
}
void ManualForm::Quit_Click() {
    close();
}

bool ManualForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QMainWindow::event(event);
}

void ManualForm::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        bool cancel = false;
        Form_QueryUnload(cancel);
        if (cancel) {
            event->ignore();
            return;
        }
        Form_Unload();
    }
    event->accept();
}

} // namespace console
