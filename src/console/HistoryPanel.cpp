#include "console/HistoryPanel.h"

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Text8.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

namespace console {

namespace {

std::string bytesOf(const QString& text) {
    return platform::toBytes(text.toStdU16String());
}

} // namespace

HistoryModel::HistoryModel(const core::History& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history) {
    setFilter({}, 0, {});
}

bool HistoryModel::matches(const core::ExchangeRecord& r) const {
    return core::matchesSearch(r, text_, address_, verdict_);
}

void HistoryModel::setFilter(std::string text, int address, std::string verdict) {
    beginResetModel();
    text_ = std::move(text);
    address_ = address;
    verdict_ = std::move(verdict);
    shown_.clear();
    for (const std::size_t i : history_.find(text_, address_, verdict_))
        shown_.push_back(base() + i);
    endResetModel();
}

void HistoryModel::added() {
    // The rows the cap dropped leave from the top.
    const auto gone = static_cast<std::size_t>(
        std::lower_bound(shown_.begin(), shown_.end(), base()) - shown_.begin());
    if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        shown_.erase(shown_.begin(), shown_.begin() + static_cast<std::ptrdiff_t>(gone));
        endRemoveRows();
    }
    if (history_.size() == 0) return;
    const std::size_t newest = history_.size() - 1;
    if (!matches(history_[newest])) return;
    const int row = static_cast<int>(shown_.size());
    beginInsertRows({}, row, row);
    shown_.push_back(base() + newest);
    endInsertRows();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const core::ExchangeRecord& r = history_[historyIndex(index.row())];
    if (role == Qt::TextAlignmentRole)
        return index.column() == Address || index.column() == Duration || index.column() == Bytes
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
    case Time:
        return QString::fromStdString(core::isoUtc(r.utcMs));
    case Address:
        return r.address;
    case Sent:
        return QString::fromStdString(core::shownSent(r));
    case Answer:
        return QString::fromStdString(core::shownAnswer(r));
    case Duration:
        return QString::number(static_cast<double>(r.durationUs) / 1000, 'f', 3);
    case Bytes:
        return QString::number(r.bytes);
    case Verdict:
        return QString::fromStdString(r.verdict);
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeads[] = {"Time (UTC)", "Addr",  "Sent",   "Answer",
                                         "ms",         "Bytes", "Verdict"};
    return section >= 0 && section < Columns ? QString::fromLatin1(kHeads[section]) : QVariant();
}

HistoryPanel::HistoryPanel(const core::History& history, platform::FileDialogs& dialogs,
                           platform::MessageBoxes& boxes,
                           std::function<void(const std::string&)> sendAgain, ShowAnswer show,
                           QWidget* parent)
    : QWidget(parent), history_(history), dialogs_(dialogs), boxes_(boxes),
      sendAgain_(std::move(sendAgain)), show_(std::move(show)),
      model_(new HistoryModel(history, this)), search_(new QLineEdit(this)),
      device_(new QComboBox(this)), verdict_(new QLineEdit(this)), view_(new QTableView(this)),
      copy_(new QPushButton(QStringLiteral("Copy"), this)),
      sendAgainButton_(new QPushButton(QStringLiteral("Send Again"), this)),
      hex_(new QPushButton(QStringLiteral("Hex..."), this)),
      plot_(new QPushButton(QStringLiteral("Plot..."), this)) {
    setObjectName(QStringLiteral("HistoryPanelWidget"));
    search_->setObjectName(QStringLiteral("HistorySearch"));
    search_->setPlaceholderText(QStringLiteral("Search sent and answers"));
    search_->setClearButtonEnabled(true);
    device_->setObjectName(QStringLiteral("HistoryDevice"));
    device_->addItem(QStringLiteral("Any device"), 0);
    for (int address = 1; address <= 30; ++address)
        device_->addItem(QString::number(address), address);
    verdict_->setObjectName(QStringLiteral("HistoryVerdict"));
    verdict_->setPlaceholderText(QStringLiteral("Verdict"));
    verdict_->setClearButtonEnabled(true);
    view_->setObjectName(QStringLiteral("HistoryView"));
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    view_->horizontalHeader()->setStretchLastSection(true);
    // Columns as wide as what they hold; the texts share the rest.
    const QFontMetrics metrics = view_->fontMetrics();
    const auto widthOf = [&](const char* sample) {
        return metrics.horizontalAdvance(QString::fromLatin1(sample)) + 14;
    };
    QHeaderView& header = *view_->horizontalHeader();
    header.resizeSection(HistoryModel::Time, widthOf("2026-12-07T03:11:22.123Z"));
    header.resizeSection(HistoryModel::Address, widthOf("Addr"));
    header.resizeSection(HistoryModel::Sent, widthOf("MEAS:VOLT:DC? 10,0.001"));
    header.resizeSection(HistoryModel::Answer, widthOf("Vireon Sim,VDM-6500,SN000005"));
    header.resizeSection(HistoryModel::Duration, widthOf("1000.000"));
    header.resizeSection(HistoryModel::Bytes, widthOf("000000"));
    // Half a dozen rows when it opens; the window grows to hold them.
    view_->setMinimumHeight(view_->verticalHeader()->defaultSectionSize() * 7);
    copy_->setObjectName(QStringLiteral("HistoryCopy"));
    sendAgainButton_->setObjectName(QStringLiteral("HistorySendAgain"));
    hex_->setObjectName(QStringLiteral("HistoryHex"));
    plot_->setObjectName(QStringLiteral("HistoryPlot"));
    auto* exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportCsv->setObjectName(QStringLiteral("HistoryExportCsv"));
    auto* exportJson = new QPushButton(QStringLiteral("Export JSON Lines..."), this);
    exportJson->setObjectName(QStringLiteral("HistoryExportJsonLines"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(search_, 3);
    filters->addWidget(device_);
    filters->addWidget(verdict_, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {copy_, sendAgainButton_, hex_, plot_, exportCsv, exportJson})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(filters);
    column->addWidget(view_, 1);
    column->addLayout(buttons);

    connect(search_, &QLineEdit::textChanged, this, &HistoryPanel::filterChanged);
    connect(verdict_, &QLineEdit::textChanged, this, &HistoryPanel::filterChanged);
    connect(device_, &QComboBox::currentIndexChanged, this, &HistoryPanel::filterChanged);
    connect(copy_, &QPushButton::clicked, this, &HistoryPanel::Copy_Click);
    connect(sendAgainButton_, &QPushButton::clicked, this, &HistoryPanel::SendAgain_Click);
    connect(hex_, &QPushButton::clicked, this, &HistoryPanel::Hex_Click);
    connect(plot_, &QPushButton::clicked, this, &HistoryPanel::Plot_Click);
    connect(exportCsv, &QPushButton::clicked, this, &HistoryPanel::ExportCsv_Click);
    connect(exportJson, &QPushButton::clicked, this, &HistoryPanel::ExportJsonLines_Click);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryPanel::updateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &HistoryPanel::updateButtons);
    updateButtons();
}

void HistoryPanel::added() {
    const bool atEnd = view_->verticalScrollBar() == nullptr ||
                       view_->verticalScrollBar()->value() == view_->verticalScrollBar()->maximum();
    model_->added();
    if (atEnd) view_->scrollToBottom();
}

void HistoryPanel::reload() {
    filterChanged();
}

void HistoryPanel::filterChanged() {
    model_->setFilter(bytesOf(search_->text()), device_->currentData().toInt(),
                      bytesOf(verdict_->text()));
}

std::vector<std::size_t> HistoryPanel::chosenRows() const {
    std::set<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty())
        for (int row = 0; row < model_->rowCount(); ++row)
            rows.insert(row);
    std::vector<std::size_t> chosen;
    for (const int row : rows)
        chosen.push_back(model_->historyIndex(row));
    return chosen;
}

void HistoryPanel::updateButtons() {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    bool sendable = rows.size() == 1;
    if (sendable) {
        const core::ExchangeRecord& r = history_[model_->historyIndex(rows.front().row())];
        sendable = r.kind.empty() && !r.sent.empty();
    }
    sendAgainButton_->setEnabled(sendable);
    const bool shown = chosenAnswer().has_value();
    hex_->setEnabled(shown);
    plot_->setEnabled(shown);
}

std::optional<std::u16string> HistoryPanel::chosenAnswer() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.size() != 1) return std::nullopt;
    const core::ExchangeRecord& r = history_[model_->historyIndex(rows.front().row())];
    if (r.whole) return *r.whole;
    // A short answer is kept whole in the record itself.
    if (!r.kind.empty() || r.block || r.answer.empty() || r.answer.size() != r.answerBytes)
        return std::nullopt;
    return platform::fromBytes(r.answer);
}

void HistoryPanel::Hex_Click() {
    if (const auto answer = chosenAnswer(); answer && show_) show_(*answer, false);
}

void HistoryPanel::Plot_Click() {
    if (const auto answer = chosenAnswer(); answer && show_) show_(*answer, true);
}

void HistoryPanel::Copy_Click() {
    // The rows as the CSV export writes them, for a spreadsheet or a mail.
    std::string text = core::csvHeader();
    for (const std::size_t i : chosenRows())
        text += core::toCsvRow(history_[i]);
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void HistoryPanel::SendAgain_Click() {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.size() != 1 || !sendAgain_) return;
    std::string sent = history_[model_->historyIndex(rows.front().row())].sent;
    // The line ends the options added go again as the options say now.
    while (!sent.empty() && (sent.back() == '\n' || sent.back() == '\r'))
        sent.pop_back();
    sendAgain_(sent);
}

void HistoryPanel::ExportCsv_Click() {
    exportRows(true);
}

void HistoryPanel::ExportJsonLines_Click() {
    exportRows(false);
}

void HistoryPanel::exportRows(bool csv) {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = csv ? u"Export History as CSV" : u"Export History as JSON Lines";
    request.fileName = csv ? u"History.csv" : u"History.jsonl";
    request.filter = csv ? u"CSV Files (*.csv)|*.csv|All Files (*.*)|*.*"
                         : u"JSON Lines (*.jsonl)|*.jsonl|All Files (*.*)|*.*";
    const std::optional<platform::FileChoice> choice = dialogs_.choose(request);
    if (!choice) return;
    const std::filesystem::path path(choice->path);
    const std::vector<std::size_t> rows = chosenRows();
    const std::string error =
        csv ? history_.exportCsv(path, rows) : history_.exportJsonLines(path, rows);
    if (error.empty()) return;
    boxes_.show(u"The history could not be exported:\n" +
                    QString::fromStdString(error).toStdU16String(),
                u"History", platform::Buttons::Ok, platform::Icon::Exclamation);
}

} // namespace console
