#pragma once

#include "changes/ChangesModel.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QTableWidget;

namespace changes {

// The changes of one update, shown to the person who runs it: what the
// update did (or, on a private copy, would do) per table, every record it
// wrote with its key and each changed field's old and new value, filters by
// table and by kind of change, a search over keys and values, and "Save as
// CSV..." with the CSV of `vhdb merge --changes`. One window serves the
// preview of an update and the last update made, with one button that acts
// on it ("Update Now", "Undo This Update"). Every control has an accessible
// name.
class ChangesWindow final : public QDialog {
public:
    // `about` heads the window: what these changes are, and whether the
    // list is whole.
    ChangesWindow(const QString& title, std::shared_ptr<const merge::ChangeList> list,
                  const QString& about, QWidget* parent = nullptr);
    ~ChangesWindow() override;

    // Adds the button that acts on the update shown, left of "Close"; the
    // window closes once `act` returns true.
    void setAction(const QString& caption, const QString& tip, std::function<bool()> act);
    // Whether the action closed the window.
    bool acted() const { return acted_; }

    ChangesModel& model() { return *model_; }
    QTableView& list() { return *view_; }

    // Writes the CSV to `path`, replacing what is there only once the whole
    // file is written; false, after telling the user why, when it cannot.
    bool saveCsv(const std::string& path);

private:
    void applyFilter();
    void showDetails();
    void saveAs();

    std::shared_ptr<const merge::ChangeList> list_;
    ChangesModel* model_ = nullptr;
    QLabel* about_ = nullptr;
    QTableWidget* counts_ = nullptr;
    QComboBox* table_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLineEdit* search_ = nullptr;
    QLabel* shown_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* detailsLabel_ = nullptr;
    QTableView* details_ = nullptr;
    QStandardItemModel* detailsModel_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* action_ = nullptr;
    QPushButton* close_ = nullptr;
    std::function<bool()> act_;
    bool acted_ = false;
};

// "Tables: Lodges 3 added, ..." the counts of a list, as one line each.
QString countsText(const merge::ChangeList& list);

} // namespace changes
