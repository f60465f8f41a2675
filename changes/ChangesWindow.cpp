#include "changes/ChangesWindow.h"

#include "platform/ui/Dialogs.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <sstream>

namespace changes {

namespace {

QString number(const std::optional<std::int32_t>& count) {
    return count ? QString::number(*count) : QStringLiteral("not known");
}

void name(QWidget* control, const char* objectName, const QString& accessible) {
    control->setObjectName(QString::fromLatin1(objectName));
    control->setAccessibleName(accessible);
}

QPushButton* button(const QString& caption, QWidget* parent) {
    auto* made = new QPushButton(caption, parent);
    made->setAutoDefault(false);
    return made;
}

} // namespace

QString countsText(const merge::ChangeList& list) {
    QString text;
    for (const merge::TableChanges& table : list.tables)
        text += QStringLiteral("%1: %2 added, %3 overwritten, %4 left alone\n")
                    .arg(QString::fromStdString(table.table))
                    .arg(table.added)
                    .arg(table.overwritten)
                    .arg(number(table.leftAlone));
    return text;
}

ChangesWindow::ChangesWindow(const QString& title, std::shared_ptr<const merge::ChangeList> list,
                             const QString& about, QWidget* parent)
    : QDialog(parent), list_(std::move(list)) {
    setWindowTitle(title);
    setObjectName(QStringLiteral("ChangesWindow"));
    setAccessibleName(title);
    setSizeGripEnabled(true);
    // Roomy, but never larger than the screen it opens on (a scaled
    // desktop has fewer logical pixels).
    QSize size(900, 620);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);
    auto* layout = new QVBoxLayout(this);

    about_ = new QLabel(about, this);
    about_->setWordWrap(true);
    about_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    name(about_, "about", QStringLiteral("About these changes"));
    about_->setAccessibleDescription(about);
    layout->addWidget(about_);

    counts_ = new QTableWidget(static_cast<int>(list_->tables.size()), 4, this);
    counts_->setHorizontalHeaderLabels({QStringLiteral("Table"), QStringLiteral("Added"),
                                        QStringLiteral("Overwritten"),
                                        QStringLiteral("Left alone (not newer)")});
    counts_->verticalHeader()->hide();
    counts_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    counts_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < counts_->rowCount(); ++row) {
        const merge::TableChanges& table = list_->tables[static_cast<std::size_t>(row)];
        const QStringList cells{QString::fromStdString(table.table), QString::number(table.added),
                                QString::number(table.overwritten), number(table.leftAlone)};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            counts_->setItem(row, column, item);
        }
    }
    counts_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    counts_->resizeRowsToContents();
    counts_->setFixedHeight(counts_->horizontalHeader()->sizeHint().height() +
                            counts_->rowCount() * counts_->rowHeight(0) + 4);
    name(counts_, "counts", QStringLiteral("Counts per table"));
    layout->addWidget(counts_);

    auto* filters = new QHBoxLayout;
    auto* tableLabel = new QLabel(QStringLiteral("&Table:"), this);
    table_ = new QComboBox(this);
    table_->addItem(QStringLiteral("All tables"), QString());
    for (const merge::TableChanges& table : list_->tables)
        table_->addItem(QString::fromStdString(table.table), QString::fromStdString(table.table));
    tableLabel->setBuddy(table_);
    name(table_, "tableFilter", QStringLiteral("Table filter"));
    auto* kindLabel = new QLabel(QStringLiteral("C&hange:"), this);
    kind_ = new QComboBox(this);
    kind_->addItems(
        {QStringLiteral("All changes"), QStringLiteral("Added"), QStringLiteral("Overwritten")});
    kindLabel->setBuddy(kind_);
    name(kind_, "kindFilter", QStringLiteral("Change filter"));
    auto* searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("a key or a value"));
    search_->setClearButtonEnabled(true);
    searchLabel->setBuddy(search_);
    name(search_, "search", QStringLiteral("Search"));
    shown_ = new QLabel(this);
    name(shown_, "shown", QStringLiteral("Records shown"));
    filters->addWidget(tableLabel);
    filters->addWidget(table_);
    filters->addWidget(kindLabel);
    filters->addWidget(kind_);
    filters->addWidget(searchLabel);
    filters->addWidget(search_, 1);
    filters->addWidget(shown_);
    layout->addLayout(filters);

    model_ = new ChangesModel(list_, this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->setSortingEnabled(true);
    view_->sortByColumn(ChangesModel::Number, Qt::AscendingOrder);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->setAlternatingRowColors(true);
    // Fixed row heights and column widths: nothing is measured per row, so
    // any number of rows opens and scrolls at once.
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->horizontalHeader()->setStretchLastSection(true);
    const int character = view_->fontMetrics().averageCharWidth();
    view_->setColumnWidth(ChangesModel::Number, character * 8);
    view_->setColumnWidth(ChangesModel::Table, character * 12);
    view_->setColumnWidth(ChangesModel::Kind, character * 13);
    view_->setColumnWidth(ChangesModel::Key, character * 36);
    name(view_, "changes", QStringLiteral("Changes"));
    layout->addWidget(view_, 3);

    detailsLabel_ = new QLabel(QStringLiteral("&Fields of the selected record:"), this);
    layout->addWidget(detailsLabel_);
    detailsModel_ = new QStandardItemModel(0, 3, this);
    detailsModel_->setHorizontalHeaderLabels(
        {QStringLiteral("Field"), QStringLiteral("Old value"), QStringLiteral("New value")});
    details_ = new QTableView(this);
    details_->setModel(detailsModel_);
    details_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    details_->verticalHeader()->hide();
    details_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    detailsLabel_->setBuddy(details_);
    name(details_, "details", QStringLiteral("Fields of the selected record"));
    layout->addWidget(details_, 1);

    auto* buttons = new QHBoxLayout;
    save_ = button(QStringLiteral("Save as CSV..."), this);
    save_->setToolTip(QStringLiteral("Save every record of the list, whatever the filters show, "
                                     "as a CSV file"));
    name(save_, "saveCsv", QStringLiteral("Save as CSV..."));
    close_ = button(QStringLiteral("Close"), this);
    close_->setToolTip(QStringLiteral("Close this window"));
    name(close_, "close", QStringLiteral("Close"));
    buttons->addWidget(save_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(table_, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(search_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showDetails(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { showDetails(); });
    connect(save_, &QPushButton::clicked, this, [this] { saveAs(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    applyFilter();
    view_->setFocus();
}

ChangesWindow::~ChangesWindow() = default;

void ChangesWindow::setAction(const QString& caption, const QString& tip,
                              std::function<bool()> act) {
    if (!action_) {
        action_ = button(caption, this);
        auto* buttons = static_cast<QHBoxLayout*>(layout()->itemAt(layout()->count() - 1));
        buttons->insertWidget(buttons->indexOf(close_), action_);
        setTabOrder(action_, close_);
        connect(action_, &QPushButton::clicked, this, [this] {
            if (act_ && act_()) {
                acted_ = true;
                accept();
            }
        });
    }
    action_->setText(caption);
    action_->setToolTip(tip);
    name(action_, "action", caption);
    act_ = std::move(act);
}

void ChangesWindow::applyFilter() {
    const auto kind = static_cast<ChangesModel::KindFilter>(std::max(0, kind_->currentIndex()));
    model_->setFilter(table_->currentData().toString(), kind, search_->text().trimmed());
    shown_->setText(
        QStringLiteral("%1 of %2 records").arg(model_->rowCount()).arg(model_->total()));
    if (model_->rowCount() > 0 && !view_->currentIndex().isValid())
        view_->setCurrentIndex(model_->index(0, 0));
}

void ChangesWindow::showDetails() {
    detailsModel_->removeRows(0, detailsModel_->rowCount());
    const merge::Change* change = model_->changeAt(view_->currentIndex().row());
    if (!change)
        return;
    if (change->added) {
        detailsLabel_->setText(QStringLiteral("&Fields of the selected record: added, with the "
                                              "key %1")
                                   .arg(ChangesModel::keyText(*change)));
        return;
    }
    detailsLabel_->setText(QStringLiteral("&Fields of the selected record: %1 changed")
                               .arg(change->fields.size() == 1
                                        ? QStringLiteral("1 field")
                                        : QStringLiteral("%1 fields").arg(change->fields.size())));
    for (const merge::Change::Field& field : change->fields)
        detailsModel_->appendRow({new QStandardItem(QString::fromStdString(field.name)),
                                  new QStandardItem(ChangesModel::cellText(field.before)),
                                  new QStandardItem(ChangesModel::cellText(field.after))});
}

bool ChangesWindow::saveCsv(const std::string& path) {
    std::ostringstream csv;
    merge::writeChangesCsv(csv, *list_);
    const std::string text = csv.str();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        ui::MsgBox("The changes could not be saved to \"" + path +
                       "\": " + file.errorString().toStdString() + ".",
                   ui::ExclamationIcon, windowTitle().toStdString());
        return false;
    }
    return true;
}

void ChangesWindow::saveAs() {
    const auto path = ui::showSaveDialog(
        {"", "changes.csv", "CSV files (*.csv)|*.csv|All files (*)|*", "Save as CSV", 1});
    if (path)
        saveCsv(*path);
}

} // namespace changes
