#include "changes/ChangesModel.h"

#include "merge/Tables.h"

#include <algorithm>
#include <numeric>

namespace changes {

namespace {

QString fromCell(const merge::CsvCell& cell) {
    return cell ? QString::fromStdString(*cell) : QString();
}

bool cellHas(const merge::CsvCell& cell, const QString& search) {
    return cell && QString::fromStdString(*cell).contains(search, Qt::CaseInsensitive);
}

} // namespace

ChangesModel::ChangesModel(std::shared_ptr<const merge::ChangeList> list, QObject* parent)
    : QAbstractTableModel(parent), list_(std::move(list)) {
    rebuild();
}

int ChangesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ChangesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

int ChangesModel::total() const {
    return static_cast<int>(list_->changes.size());
}

const merge::Change* ChangesModel::changeAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return nullptr;
    return &list_->changes[rows_[static_cast<std::size_t>(row)]];
}

QString ChangesModel::cellText(const merge::CsvCell& cell) {
    if (!cell)
        return QStringLiteral("(null)");
    return QLatin1Char('"') + QString::fromStdString(*cell) + QLatin1Char('"');
}

QString ChangesModel::keyText(const merge::Change& change) {
    const merge::TableDef* table = merge::findVarnholtTable(change.table);
    QString text;
    for (std::size_t i = 0; i < change.key.size(); ++i) {
        if (!table || i >= table->key.size())
            break;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text +=
            QString::fromStdString(table->key[i].name) + QLatin1Char(' ') + cellText(change.key[i]);
    }
    return text;
}

QVariant ChangesModel::data(const QModelIndex& index, int role) const {
    const merge::Change* change = changeAt(index.row());
    if (!change ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole))
        return {};
    switch (index.column()) {
    case Number:
        return static_cast<qulonglong>(rows_[static_cast<std::size_t>(index.row())] + 1);
    case Table:
        return QString::fromStdString(change->table);
    case Kind:
        return change->added ? QStringLiteral("added") : QStringLiteral("overwritten");
    case Key:
        return keyText(*change);
    case Fields: {
        QString text;
        for (const merge::Change::Field& field : change->fields) {
            if (!text.isEmpty())
                text += QStringLiteral("; ");
            text += QString::fromStdString(field.name) + QStringLiteral(": ") +
                    cellText(field.before) + QStringLiteral(" \u2192 ") + cellText(field.after);
        }
        return text;
    }
    default:
        return {};
    }
}

QVariant ChangesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Number:
        return QStringLiteral("No.");
    case Table:
        return QStringLiteral("Table");
    case Kind:
        return QStringLiteral("Change");
    case Key:
        return QStringLiteral("Key");
    case Fields:
        return QStringLiteral("Fields changed (old \u2192 new)");
    default:
        return {};
    }
}

bool ChangesModel::accepts(const merge::Change& change) const {
    if (!table_.isEmpty() && QString::fromStdString(change.table) != table_)
        return false;
    if (kind_ == KindFilter::Added && !change.added)
        return false;
    if (kind_ == KindFilter::Overwritten && change.added)
        return false;
    if (search_.isEmpty())
        return true;
    for (const merge::CsvCell& cell : change.key)
        if (cellHas(cell, search_))
            return true;
    for (const merge::Change::Field& field : change.fields)
        if (cellHas(field.before, search_) || cellHas(field.after, search_) ||
            QString::fromStdString(field.name).contains(search_, Qt::CaseInsensitive))
            return true;
    return false;
}

QString ChangesModel::sortKey(std::size_t record, int column) const {
    const merge::Change& change = list_->changes[record];
    switch (column) {
    case Table:
        return QString::fromStdString(change.table);
    case Kind:
        return change.added ? QStringLiteral("added") : QStringLiteral("overwritten");
    case Key: {
        QString text;
        for (const merge::CsvCell& cell : change.key)
            text += fromCell(cell) + QChar(0);
        return text;
    }
    case Fields: {
        QString text;
        for (const merge::Change::Field& field : change.fields)
            text += QString::fromStdString(field.name) + QChar(0);
        return text;
    }
    default:
        return {};
    }
}

void ChangesModel::rebuild() {
    rows_.clear();
    rows_.reserve(list_->changes.size());
    for (std::size_t i = 0; i < list_->changes.size(); ++i)
        if (accepts(list_->changes[i]))
            rows_.push_back(static_cast<std::uint32_t>(i));
    if (sortColumn_ == Number) {
        if (sortOrder_ == Qt::DescendingOrder)
            std::reverse(rows_.begin(), rows_.end());
        return;
    }
    // One key per shown record, made once; ties keep the order written.
    std::vector<QString> keys(list_->changes.size());
    for (const std::uint32_t record : rows_)
        keys[record] = sortKey(record, sortColumn_);
    const bool up = sortOrder_ == Qt::AscendingOrder;
    std::stable_sort(rows_.begin(), rows_.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int order = QString::compare(keys[a], keys[b], Qt::CaseInsensitive);
        return up ? order < 0 : order > 0;
    });
}

void ChangesModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ColumnCount)
        return;
    beginResetModel();
    sortColumn_ = column;
    sortOrder_ = order;
    rebuild();
    endResetModel();
}

void ChangesModel::setFilter(const QString& table, KindFilter kind, const QString& search) {
    beginResetModel();
    table_ = table;
    kind_ = kind;
    search_ = search;
    rebuild();
    endResetModel();
}

} // namespace changes
