#include "measure/results_view.h"
#include "platform/qt_text.h"

#include <QFontDatabase>
#include <QTimer>

void ResultsTableModel::SetTable(const ResultsTable* table) {
    beginResetModel();
    table_ = table;
    shown_ = table ? static_cast<int>(table->Count()) : 0;
    generation_ = table ? table->Generation() : 0;
    endResetModel();
}

bool ResultsTableModel::Sync() {
    if (!table_) return false;
    const int count = static_cast<int>(table_->Count());
    if (table_->Generation() != generation_ || count < shown_) {
        beginResetModel();
        shown_ = count;
        generation_ = table_->Generation();
        endResetModel();
        return true;
    }
    if (count == shown_) return false;
    beginInsertRows(QModelIndex(), shown_, count - 1);
    shown_ = count;
    endInsertRows();
    return true;
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const {
    if (!table_ || role != Qt::DisplayRole || index.row() < 0 || index.row() >= shown_) return {};
    const std::string& line = (*table_)[static_cast<size_t>(index.row())];
    return ShownLine(line);
}

TMemo::TMemo(QWidget* parent) : QListView(parent), model_(this) {
    setModel(&model_);
    setUniformItemSizes(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TMemo::SetTable(const ResultsTable* table) { model_.SetTable(table); }

void TMemo::Refresh() {
    if (deferred_) return;
    if (!model_.Sync() || scrollPending_) return;
    // Scrolling lays the view out; do it once when the event loop next runs, not per row.
    scrollPending_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollPending_ = false;
        scrollToBottom();
    });
}
