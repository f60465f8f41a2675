#pragma once

#include "merge/Changes.h"

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace changes {

// The records of a ChangeList as rows of a table view, formatted only when
// the view asks for a cell, so that a list of any length opens at once and
// no widget is made per row. It filters by table, by kind of change and by
// a text searched in the keys and values (letter case ignored), and sorts
// by any column; both keep one index per shown row.
class ChangesModel final : public QAbstractTableModel {
public:
    enum Column { Number, Table, Kind, Key, Fields, ColumnCount };
    enum class KindFilter { All, Added, Overwritten };

    explicit ChangesModel(std::shared_ptr<const merge::ChangeList> list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The filters; an empty table shows every table.
    void setFilter(const QString& table, KindFilter kind, const QString& search);

    // The record shown in `row`; nullptr past the last.
    const merge::Change* changeAt(int row) const;
    // The number of records in the list, shown or not.
    int total() const;

    // How a record's key reads: "F1 "L1", F2 "X1"".
    static QString keyText(const merge::Change& change);
    // How a cell reads in the window: null as "(null)", text in quotes.
    static QString cellText(const merge::CsvCell& cell);

private:
    bool accepts(const merge::Change& change) const;
    QString sortKey(std::size_t record, int column) const;
    void rebuild();

    std::shared_ptr<const merge::ChangeList> list_;
    std::vector<std::uint32_t> rows_; // the records shown, in the order shown
    QString table_;
    KindFilter kind_ = KindFilter::All;
    QString search_;
    int sortColumn_ = Number;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace changes
