#pragma once

#include "core/History.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace platform {
class FileDialogs;
class MessageBoxes;
} // namespace platform

namespace console {

// The history's rows that match the panel's search, newest last.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Address, Sent, Answer, Duration, Bytes, Verdict, Columns };

    explicit HistoryModel(const core::History& history, QObject* parent = nullptr);

    // Text (in the console's code page, letter case aside), device (0 any)
    // and verdict the rows must match.
    void setFilter(std::string text, int address, std::string verdict);
    // The history gained a row (and may have dropped its oldest).
    void added();

    // The history's index of a row shown.
    std::size_t historyIndex(int row) const {
        return shown_[static_cast<std::size_t>(row)] - base();
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Rows are kept by their number since the history opened, so dropping
    // the oldest does not move the others.
    std::size_t base() const { return history_.dropped(); }
    bool matches(const core::ExchangeRecord& record) const;

    const core::History& history_;
    std::vector<std::size_t> shown_;
    std::string text_, verdict_;
    int address_ = 0;
};

// The panel beside the incoming view: search as you type, select, copy,
// send again, export. It only reads the history; sending again goes
// through the send cycle like any message.
class HistoryPanel : public QWidget {
    Q_OBJECT
public:
    // `show` opens the Hex (false) or Plot (true) window on an answer.
    using ShowAnswer = std::function<void(const std::u16string& answer, bool plot)>;
    HistoryPanel(const core::History& history, platform::FileDialogs& dialogs,
                 platform::MessageBoxes& boxes, std::function<void(const std::string&)> sendAgain,
                 ShowAnswer show, QWidget* parent = nullptr);

    void added();
    // The history was opened afresh: every row is looked at again.
    void reload();
    HistoryModel& model() { return *model_; }
    QTableView& view() { return *view_; }

    // The chosen rows (all shown rows when none is chosen), as the
    // history's indexes, oldest first.
    std::vector<std::size_t> chosenRows() const;

    // The chosen row's whole answer, while the history still has all of it.
    std::optional<std::u16string> chosenAnswer() const;

    void Copy_Click();
    void SendAgain_Click();
    void Hex_Click();
    void Plot_Click();
    void ExportCsv_Click();
    void ExportJsonLines_Click();

private:
    void filterChanged();
    void exportRows(bool csv);
    void updateButtons();

    const core::History& history_;
    platform::FileDialogs& dialogs_;
    platform::MessageBoxes& boxes_;
    std::function<void(const std::string&)> sendAgain_;
    ShowAnswer show_;
    HistoryModel* model_;
    QLineEdit* search_;
    QComboBox* device_;
    QLineEdit* verdict_;
    QTableView* view_;
    QPushButton* copy_;
    QPushButton* sendAgainButton_;
    QPushButton* hex_;
    QPushButton* plot_;
};

} // namespace console
