#include "console/ManualForm.h"

#include "ui_ManualForm.h"

#include "console/HistoryPanel.h"
#include "console/RepaintThrottle.h"
#include "console/WindowGrowth.h"

#include "messagelist/EntryBox.h"
#include "platform/Text8.h"
#include "platform/qt/QtText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLayout>
#include <QResizeEvent>
#include <QShortcut>
#include <QStringList>

#include <filesystem>
#include <utility>

namespace console {

namespace {

constexpr int kTimer1Interval = 200;
// A transfer shorter than this shows no progress: it would only flicker.
constexpr std::chrono::milliseconds kProgressAfter{500};
constexpr int kEventsSlice = 10; // ms

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
      version_(buildVersion()), console_(seams.driver, seams.boxes, seams.exit),
      options_(state_, seams.settings, optionControls()),
      syntaxChecking_(*this, console_, syntaxCheckingControls()),
      devicePanel_(console_, syntaxChecking_, devicePanelControls()),
      identification_(state_, identificationControls()), addressDoubleClicks_(*ui_->AddressButton),
      receiveToFile_(*this, console_, state_, seams.fileDialogs, syntaxChecking_,
                     receiveToFileControls()),
      exchange_(*this, console_, state_, receiveToFile_, syntaxChecking_, exchangeControls()),
      answerCommands_(*this, exchange_, seams.boxes, seams.fileDialogs),
      entryBox_(entryBoxControls(), [this] { exchange_.SendMessage_Click(); }),
      idAll_(*this, console_, exchange_, idAllControls()),
      dataFiles_(*this, console_, state_, seams.fileDialogs, seams.shell, *ui_->SendMessageList),
      messageList_(state_, seams.boxes, seams.fileDialogs, messageListControls()),
      about_(*this, state_, seams.boxes, seams.shell, version_, *ui_->SendMessageList),
      benchCommands_(*this, state_, seams.boxes, seams.fileDialogs, *ui_->SaveBenchAs,
                     *ui_->SendMessageList),
      runList_(*this, console_, seams.fileDialogs, seams.boxes, *ui_->SendMessageList,
               *ui_->vrAddCR, *ui_->vrAddLF),
      transferProgress_(new TransferProgress(*ui_->ReceivedMessages)) {
    ui_->Line1->setBackgroundRole(QPalette::Dark);
    applyFontFallbacks();
    growWithTheWindow();
    addHistoryPanel();
    Timer1_.setObjectName(QStringLiteral("Timer1"));
    Timer1_.setInterval(kTimer1Interval);
    new RepaintThrottle(*this);
    wire();
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
    controls.EnableVerdicts = ui_->EnableVerdicts;
    controls.SendToDevice = ui_->SendToDevice;
    return controls;
}

devices::IdentificationControls ManualForm::identificationControls() const {
    return {ui_->vrID, ui_->vrIDN, ui_->IdAll, ui_->SendMessageList};
}

syntaxcheck::SyntaxCheckingControls ManualForm::syntaxCheckingControls() {
    return {ui_->SyntaxErrorMessage, &Timer1_, devicePanelControls().AddressButton};
}

exchange::ReceiveToFileControls ManualForm::receiveToFileControls() const {
    return {ui_->SendMessageList,    ui_->SendtoFileOnce, ui_->SendToFile, ui_->AutoClear,
            ui_->ReceivedCharacters, ui_->ClearIncoming,  ui_->ClrIncoming};
}

exchange::ExchangeControls ManualForm::exchangeControls() const {
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
    return controls;
}

messagelist::EntryBoxControls ManualForm::entryBoxControls() const {
    return {ui_->SendMessageList, ui_->SendMessage, ui_->DeleteOutgoingMessageEntry, ui_->Caps,
            ui_->CheckListForMatch};
}

devices::IdAllControls ManualForm::idAllControls() const {
    devices::IdAllControls controls;
    controls.vrID = ui_->vrID;
    controls.vrIDN = ui_->vrIDN;
    controls.vrAddCR = ui_->vrAddCR;
    controls.vrAddLF = ui_->vrAddLF;
    controls.ReceivedCharacters = ui_->ReceivedCharacters;
    controls.SendMessageList = ui_->SendMessageList;
    return controls;
}

messagelist::MessageListControls ManualForm::messageListControls() const {
    return {ui_->SendMessageList,
            ui_->SendMessage,
            ui_->DeleteOutgoingMessageEntry,
            ui_->ClearHistory,
            ui_->LoadStartupMessageList,
            ui_->OutGoingFile};
}

void ManualForm::growWithTheWindow() {
    // The client area is never smaller than designed; the incoming view takes
    // whatever the operator adds.
    QWidget& area = *centralWidget();
    area.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    auto* growth = new WindowGrowth(area);
    using F = WindowGrowth::Follow;
    const std::pair<QWidget*, unsigned> follows[] = {
        {ui_->Line1, F::Wider},
        {ui_->Line2, F::Wider},
        {ui_->Frame1, F::Wider},
        {ui_->Frame2, F::Wider},
        {ui_->SendMessageList, F::Wider},
        {ui_->ClearHistory, F::MoveRight},
        {ui_->SendMessage, F::MoveRight},
        {ui_->OutGoingFile, F::Wider},
        {ui_->Frame3, F::Wider | F::Taller},
        {ui_->ReceivedMessages, F::Wider | F::Taller},
        {transferProgress_, F::Wider | F::MoveDown},
        {ui_->ReceivedCharacters, F::MoveDown},
        {ui_->Label6, F::MoveDown},
        {ui_->SyntaxErrorMessage, F::MoveDown},
        {ui_->Command_Exit, F::MoveDown},
        {ui_->ClearIncoming, F::MoveRight | F::MoveDown},
    };
    for (const auto& [widget, how] : follows)
        growth->follow(widget, how);
    growth->layOut();
    // The window opens at the designed size.
    resize(minimumSizeHint());
}

void ManualForm::addHistoryPanel() {
    historyPanel_ = new HistoryPanel(
        history_, fileDialogs_, console_.boxes(),
        [this](const std::string& sent) { sendAgain(sent); },
        [this](const std::u16string& answer, bool plot) {
            if (plot)
                answerCommands_.showPlot(answer, u"chosen");
            else
                answerCommands_.showHex(answer);
        });
    historyDock_ = new QDockWidget(QStringLiteral("Exchange History"), this);
    historyDock_->setObjectName(QStringLiteral("HistoryDock"));
    historyDock_->setWidget(historyPanel_);
    historyDock_->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::RightDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, historyDock_);
    // Hidden at the designed size; the Answer menu opens it.
    historyDock_->hide();
    QAction* toggle = historyDock_->toggleViewAction();
    toggle->setObjectName(QStringLiteral("HistoryPanel"));
    toggle->setText(QStringLiteral("Exchange &History"));
    connect(toggle, &QAction::triggered, this, [this] { historyOffered_ = true; });
    ui_->AnswerMenu->addSeparator();
    ui_->AnswerMenu->addAction(toggle);
}

void ManualForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    constexpr int kRoomForHistory = 160;
    if (historyOffered_ || !isVisible() || historyDock_->isVisible()) return;
    if (centralWidget()->height() < centralWidget()->minimumHeight() + kRoomForHistory) return;
    historyOffered_ = true;
    historyDock_->show();
}

void ManualForm::sendAgain(const std::string& sent) {
    // As if typed: the send cycle records it like any typed message.
    QComboBox& entry = *ui_->SendMessageList;
    if (!entry.isEnabled() || console_.busy()) return;
    entry.setCurrentIndex(-1);
    entry.setEditText(platform::toQString(platform::fromBytes(sent)));
    exchange_.SendMessage_Click();
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
    // Judged by the glyphs themselves: some monospaced faces do not call
    // themselves fixed-pitch.
    const QFontMetrics metrics(incoming);
    if (metrics.horizontalAdvance(QLatin1Char('i')) !=
        metrics.horizontalAdvance(QLatin1Char('W'))) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(incoming.pointSizeF());
        incoming = fixed;
    }
    ui_->ReceivedMessages->setFont(incoming);
}

void ManualForm::wire() {
    using devices::DevicePanel;
    using devices::Identification;

    console_.setExchangeRecorded([this](const core::ExchangeRecord& r) { keepExchange(r); });

    connect(ui_->AddressButton, &QButtonGroup::idClicked, &devicePanel_,
            &DevicePanel::AddressButton_Click);
    connect(&addressDoubleClicks_, &devices::DoubleClicks::doubleClicked, &devicePanel_,
            &DevicePanel::AddressButton_DblClick);
    connect(ui_->SelectDevice, &QAction::triggered, &devicePanel_,
            &DevicePanel::SelectDevice_Click);
    connect(ui_->EnableSyntaxCheck, &QAction::triggered, &devicePanel_,
            &DevicePanel::EnableSyntaxCheck_Click);
    connect(ui_->EnableVerdicts, &QAction::triggered, &devicePanel_,
            &DevicePanel::enableVerdictsTriggered);

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

    using exchange::Exchange;
    connect(ui_->SendMessage, &QPushButton::clicked, &exchange_, &Exchange::SendMessage_Click);
    connect(ui_->ClearIncoming, &QPushButton::clicked, &exchange_, &Exchange::ClearIncoming_Click);
    connect(ui_->ClrIncoming, &QAction::triggered, &exchange_, &Exchange::ClrIncoming_Click);
    // Qt has toggled the entry and the options have marked it changed.
    connect(ui_->AutoClear, &QAction::triggered, &exchange_, &Exchange::AutoClear_Click);
    connect(ui_->Help, &QAction::triggered, &exchange_, &Exchange::Help_Click);
    using exchange::AnswerCommands;
    connect(ui_->Hex, &QAction::triggered, &answerCommands_, &AnswerCommands::Hex_Click);
    connect(ui_->Plot, &QAction::triggered, &answerCommands_, &AnswerCommands::Plot_Click);

    connect(&Timer1_, &QTimer::timeout, &syntaxChecking_.blink(),
            &syntaxcheck::SyntaxErrorBlink::Timer1_Timer);
    connect(ui_->IdAll, &QPushButton::clicked, &idAll_, &devices::IdAllCommand::IdAll_Click);

    using datafiles::DataFiles;
    connect(ui_->SendToDevice, &QAction::triggered, &dataFiles_, &DataFiles::SendToDevice_Click);
    connect(ui_->DisplayFile, &QAction::triggered, &dataFiles_, &DataFiles::DisplayFile_Click);
    // Qt switches the check marks itself before the handlers run.
    using exchange::ReceiveToFile;
    connect(ui_->SendtoFileOnce, &QAction::triggered, &receiveToFile_,
            &ReceiveToFile::SendtoFileOnce_Triggered);
    connect(ui_->SendToFile, &QAction::triggered, &receiveToFile_,
            &ReceiveToFile::SendToFile_Triggered);

    using messagelist::MessageList;
    MessageList* list = &messageList_;
    connect(ui_->RunList, &QAction::triggered, &runList_, &sequence::RunListCommand::RunList_Click);
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

    connect(ui_->About, &QAction::triggered, &about_, &about::AboutCommand::About_Click);
    connect(ui_->BenchFromFile, &QAction::triggered, &benchCommands_,
            &BenchCommands::BenchFromFile_Click);
    connect(ui_->SaveBenchAs, &QAction::triggered, &benchCommands_,
            &BenchCommands::SaveBenchAs_Click);
    connect(ui_->Interface, &QAction::triggered, &benchCommands_, &BenchCommands::Interface_Click);

    // Esc means Stop only while the bus works; otherwise it is the widgets'.
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    busyTable_ = new BusyTable(*this, *escape_);
    console_.setBusyChanged([this](bool busy) { busyTable_->setBusy(busy); });
    connect(escape_, &QShortcut::activated, this, &ManualForm::StopTransfer_Click);
    connect(&transferProgress_->stopButton(), &QPushButton::clicked, this,
            &ManualForm::StopTransfer_Click);
    console_.setWaitingHook([this] { whileBusWorks(); });
    console_.setOperationEnded([this] { operationEnded(); });
}

void ManualForm::whileBusWorks() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, kEventsSlice);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(console_.elapsed());
    // Taking and handing back the bus belong to no operation and show nothing.
    if (!console_.busy() || elapsed < kProgressAfter || console_.stopRequested()) return;
    const std::uint64_t bytes = console_.bytesMoved();
    ui_->ReceivedCharacters->setText(QString::number(bytes) + u' ');
    transferProgress_->showRunning(bytes, elapsed);
}

void ManualForm::StopTransfer_Click() {
    if (!console_.busy()) return;
    console_.requestStop();
    // Said at once: the read's failure box may come up before the end.
    if (transferProgress_->isVisible())
        transferProgress_->showStopped(
            console_.bytesMoved(),
            std::chrono::duration_cast<std::chrono::milliseconds>(console_.elapsed()));
}

void ManualForm::operationEnded() {
    if (console_.stopRequested()) {
        transferProgress_->showStopped(
            console_.bytesMoved(),
            std::chrono::duration_cast<std::chrono::milliseconds>(console_.elapsed()));
    } else {
        transferProgress_->hide();
    }
    if (closeWhenIdle_) {
        closeWhenIdle_ = false;
        QMetaObject::invokeMethod(this, &ManualForm::close, Qt::QueuedConnection);
    }
}

void ManualForm::Form_Load() {
    setWindowTitle(platform::toQString(
        windowCaption(version_.VersionText, version_.VersionDate, simulatedBus_)));

    console_.TakeBus();

    prepareDataFolder();
    if (state_.DataFolderUsable) messageList_.ReadMessageList(state_.StartUpFile);

    devicePanel_.showDevicesFound();
    devicePanel_.selectLoneDevice();
    loaded_ = true;
}

void ManualForm::prepareDataFolder() {
    const platform::PreparedDataFolder folder = dataFolder_.prepare();
    state_.DataFolder = folder.path;
    state_.StartUpFile = platform::joinPath(folder.path, u"StartUp.gmg");
    state_.DataFolderUsable = folder.usable;
    if (folder.usable) {
        const std::string note =
            history_.open(std::filesystem::path(platform::joinPath(folder.path, u"History.jsonl")));
        historyPanel_->reload();
        if (!note.empty()) {
            historyFailureShown_ = note.find("cannot be written") != std::string::npos;
            console_.boxes().show(QString::fromStdString(note).toStdU16String(), u"History",
                                  platform::Buttons::Ok, platform::Icon::Exclamation);
        }
        return;
    }
    console_.boxes().show(u"The data folder\n" + folder.path + u"\ncould not be created: " +
                              folder.error +
                              u".\n\nThe console goes on without its start-up message list.",
                          u"Data Folder", platform::Buttons::Ok, platform::Icon::Exclamation);
}

void ManualForm::keepExchange(const core::ExchangeRecord& record) {
    runList_.exchangeRecorded(record);
    const bool kept = history_.add(record);
    historyPanel_->added();
    if (kept || historyFailureShown_) return;
    // Said once a run; the rows stay in the history of this run.
    historyFailureShown_ = true;
    console_.boxes().show(u"The history file cannot be written; the exchanges of this run are "
                          u"kept until the console closes.",
                          u"History", platform::Buttons::Ok, platform::Icon::Exclamation);
}

void ManualForm::Form_Activate() {
    if (!loaded_ || state_.Activated) return;
    if (console_.devices().count() != 1) {
        // Nothing is selected until the operator picks a device.
        QButtonGroup* group = ui_->AddressButton;
        group->setExclusive(false);
        ui_->AddressButton_0->setChecked(false);
        group->setExclusive(true);
        ui_->DeleteOutgoingMessageEntry->setEnabled(false);
        ui_->ReceivedMessages->setFocus();
    } else {
        messagelist::focusEntryBox(*ui_->SendMessageList);
    }
    options_.load();
    state_.Activated = true;
}

void ManualForm::Form_QueryUnload(bool& cancel) {
    if (!state_.MessageListChanged) return;
    const platform::Answer answer = console_.boxes().show(
        closeQuestion(), u"Exit", platform::Buttons::YesNoCancel, platform::Icon::Question);
    if (answer == platform::Answer::Cancel) {
        // The list is still unsaved, so the next close must ask again.
        cancel = true;
        return;
    }
    if (answer == platform::Answer::Yes) {
        std::u16string startUp = state_.StartUpFile;
        messageList_.WriteMessageList(startUp);
    }
    state_.MessageListChanged = false;
}

void ManualForm::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    options_.save();
    console_.ReleaseBus();
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
    // A close that arrives while the bus works would pull the bus and the
    // window away from under it: the transfer is stopped, and the window
    // closes once it has ended.
    if (console_.busy()) {
        closeWhenIdle_ = true;
        console_.requestStop();
        event->ignore();
        return;
    }
    if (!unloaded_) {
        bool cancel = false;
        Form_QueryUnload(cancel);
        if (cancel) {
            benchCommands_.restartCalledOff();
            event->ignore();
            return;
        }
        Form_Unload();
    }
    event->accept();
}

} // namespace console
