#pragma once
// Memo1 and Memo2: list views over a ResultsTable. The view follows the table on
// Refresh(): appended lines are inserted (cheap), any other change rebuilds it.
// While updating is deferred ("Fast"), Refresh does nothing until EndUpdate.
#include <QAbstractListModel>
#include <QListView>

#include "measure/results_table.h"

class ResultsTableModel : public QAbstractListModel {
public:
    explicit ResultsTableModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    void SetTable(const ResultsTable* table);
    // Brings the model up to the table's lines; returns true when rows were added.
    bool Sync();
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const ResultsTable* table_ = nullptr;
    int shown_ = 0;
    uint64_t generation_ = 0;
};

class TMemo : public QListView {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    void SetTable(const ResultsTable* table);
    void Refresh();
    void BeginUpdate() { deferred_ = true; }
    void EndUpdate() {
        deferred_ = false;
        Refresh();
    }
    bool Deferred() const { return deferred_; }
    int ShownLines() const { return model_.rowCount(); }

private:
    ResultsTableModel model_;
    bool deferred_ = false;
    bool scrollPending_ = false;
};
