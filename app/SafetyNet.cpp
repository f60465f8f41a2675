// The safety net of the main window: the undo file of every update,
// "Preview..." and "Undo Update...".
#include "app/SafetyNet.h"

#include "app/FrmMain.h"
#include "app/UndoFiles.h"
#include "changes/ChangesWindow.h"
#include "merge/DryRunCopy.h"
#include "merge/Tables.h"
#include "merge/Undo.h"
#include "merge/UndoFile.h"
#include "merge/Update.h"
#include "platform/db/DbError.h"
#include "platform/db/SideFiles.h"
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <filesystem>
#include <fmt/format.h>

namespace fs = std::filesystem;

namespace app {

namespace {

const std::string crlf = "\r\n";
const std::string previewTitle = "Update Preview";
const std::string lastUpdateTitle = "Last Update";
const std::string undoTitle = "Undo This Update";

std::string reasonOf(const std::exception& error) {
    if (const auto* db = dynamic_cast<const db::DbError*>(&error))
        return db->forPeople();
    if (const auto* file = dynamic_cast<const fs::filesystem_error*>(&error))
        return file->code().message() + ".";
    return error.what();
}

std::string records(std::int64_t count) {
    return fmt::format("{} {}", count, count == 1 ? "record" : "records");
}

QString quoted(const std::string& path) {
    return QStringLiteral("\u201c%1\u201d").arg(QString::fromStdString(path));
}

// The busy cursor, while the window copies or reads a file.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString previewAbout(const merge::Outcome& outcome, const std::string& database,
                     const std::string& update) {
    QString about =
        QStringLiteral("What updating %1 with %2 would change, found by running the update on a "
                       "private copy. Nothing has been written to either file.")
            .arg(quoted(database), quoted(update));
    switch (outcome.ending) {
    case merge::Outcome::Ending::Complete:
        return about + QStringLiteral(" \u201cUpdate Now\u201d runs the update itself.");
    case merge::Outcome::Ending::Cancelled:
        return about + QStringLiteral(" The preview was cancelled, so the list is incomplete: it "
                                      "holds the changes found before the cancel.");
    case merge::Outcome::Ending::Failed:
        break;
    }
    return about + QStringLiteral(" The preview stopped at an error in the %1 table, so the list "
                                  "is incomplete: it holds the changes found before the error, "
                                  "where the update itself would stop too.")
                       .arg(QString::fromStdString(outcome.failedTable));
}

QString lastUpdateAbout(merge::UndoFile& file, const std::string& database) {
    const std::string started = file.text("started");
    QString about =
        QStringLiteral("The last update of %1 that can be undone: from %2%3.")
            .arg(quoted(database), quoted(file.text("update")),
                 started.empty()
                     ? QString()
                     : QStringLiteral(", begun %1").arg(QString::fromStdString(started)));
    const std::string ended = file.text("ended");
    if (ended == "complete")
        return about + QStringLiteral(" It ran to its end.");
    if (ended == "cancelled")
        return about + QStringLiteral(" It was cancelled: the records below were saved before "
                                      "the cancel.");
    if (ended == "failed")
        return about + QStringLiteral(" It stopped at an error: the records below were saved "
                                      "before it.");
    return about + QStringLiteral(" It was stopped by a crash: the program or the computer "
                                  "stopped during it. The records below were noted as they were "
                                  "saved; the last one may never have been saved.");
}

std::string changedText(const merge::UndoReport& report, const std::string& database) {
    const std::size_t count = report.changed.size();
    std::string text = records(static_cast<std::int64_t>(count)) + " of \"" + database +
                       "\" changed since the update wrote " + (count == 1 ? "it" : "them") +
                       ", so nothing was undone:" + crlf + crlf;
    constexpr std::size_t shown = 12;
    for (std::size_t i = 0; i < count && i < shown; ++i)
        text += "  " + report.changed[i] + crlf;
    if (count > shown)
        text +=
            fmt::format("  and {} more{}", records(static_cast<std::int64_t>(count - shown)), crlf);
    return text + crlf + "Undo all the other records of the update, and leave " +
           (count == 1 ? "this one as it is?" : "these as they are?");
}

std::string doneText(const merge::UndoReport& report) {
    std::string text = "The update was undone.";
    if (report.tables.empty())
        text += crlf + crlf + "It wrote no record: there was nothing to take back.";
    else
        text += crlf;
    for (const auto& table : report.tables)
        text += crlf + fmt::format(" {}: {} restored, {} removed", table.table,
                                   records(table.restored), records(table.removed));
    if (report.alreadyBack > 0)
        text += crlf + crlf + " " + records(report.alreadyBack) +
                (report.alreadyBack == 1 ? " already held what it held"
                                         : " already held what they held") +
                " before the update.";
    if (!report.changed.empty()) {
        text += crlf + crlf + " Left as they are, changed since the update wrote them:";
        for (const std::string& line : report.changed)
            text += crlf + "  " + line;
    }
    return text;
}

// Takes the update back behind a progress bar.
merge::UndoReport undoBehindProgress(const std::string& database, const std::string& undo,
                                     bool force) {
    QProgressDialog progress(QStringLiteral("Undoing the update..."), QString(), 0, 1,
                             QApplication::activeWindow());
    progress.setWindowTitle(QString::fromStdString(undoTitle));
    progress.setAccessibleName(QStringLiteral("Undo progress"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setValue(0);
    return merge::undoUpdate(
        database, undo, merge::DatabasePassword, force, [&](std::size_t done, std::size_t total) {
            progress.setMaximum(static_cast<int>(std::max<std::size_t>(1, total)));
            progress.setValue(static_cast<int>(done));
        });
}

} // namespace

bool makeUndoFile(std::optional<merge::UndoLog>& undo, const merge::Locations& files) {
    const merge::UndoFolder folder = undoFolder();
    std::string why;
    try {
        const fs::path path = folder.newFileFor(files.DBLocation);
        undo.emplace(path.string(), merge::DatabasePassword, files.DBLocation, files.UPDLocation);
        return true;
    } catch (const std::exception& e) {
        why = reasonOf(e);
    }
    ui::MsgBox("The update did not start: the undo file that lets you take it back could not be "
               "made in the folder \"" +
                   folder.folder().string() + "\"." + crlf + crlf + why + crlf + crlf +
                   "Make room on that disk, or make the folder writable, and try again. Nothing "
                   "was written to the database.",
               ui::ExclamationIcon);
    return false;
}

std::string finishUndoFile(merge::UndoLog& undo, const std::string& database) {
    std::string unfinished;
    try {
        undo.finish();
    } catch (const std::exception& e) {
        unfinished = crlf + crlf + "The undo file \"" + undo.path() +
                     "\" could not be closed: " + reasonOf(e) +
                     " It still holds every record the update noted.";
    }
    if (undo.entries() == 0 && unfinished.empty()) {
        std::error_code ec;
        fs::remove(undo.path(), ec);
        for (const std::string& side : db::sideFilesOf(undo.path()))
            fs::remove(side, ec);
    }
    undoFolder().prune(database);
    return unfinished;
}

void FrmMain::refreshUndoButton() {
    const std::string database = VarnholtDatabase().text().toStdString();
    const bool any = !database.empty() && !undoFolder().filesFor(database).empty();
    cmdUndoUpdate().setEnabled(!updating_ && any);
}

void FrmMain::cmdPreview_Click() {
    const std::string database = VarnholtDatabase().text().toStdString();
    const std::string update = VarnholtUpdate().text().toStdString();
    if (filesFound(database, update))
        previewUpdate(database, update);
}

void FrmMain::previewUpdate(const std::string& database, const std::string& update) {
    for (bool again = true; again;) {
        again = false;
        auto list = std::make_shared<merge::ChangeList>();
        merge::Outcome outcome;
        FileStamp databaseStamp;
        FileStamp updateStamp;
        {
            const Running running(*this);
            databaseStamp = stampOf(database);
            updateStamp = stampOf(update);
            std::optional<merge::DryRunCopy> copy;
            try {
                const WaitCursor waiting;
                copy.emplace(database, "varnholt-preview-", "for a preview");
            } catch (const std::exception& e) {
                ui::MsgBox("The preview did not start: " + reasonOf(e) + crlf + crlf +
                               "Nothing was written to either file.",
                           ui::ExclamationIcon, previewTitle);
                return;
            }
            merge::ChangeRecorder recorder(
                [&](const merge::Change& change) { list->changes.push_back(change); });
            outcome = runBehindProgress(
                [&] {
                    return merge::Locations{copy->path(), update};
                },
                &recorder);
            recorder.finish();
            list->tables = recorder.tables();
            if (outcome.ending == merge::Outcome::Ending::Failed)
                ui::MsgBox("Preview: nothing was written to \"" + database + "\"." + crlf + crlf +
                               copy->asMain(merge::outcomeText(outcome, merge::Wording::Plain)),
                           ui::ExclamationIcon, previewTitle);
        }
        if (closeAfterUpdate_) {
            closeAfterUpdate_ = false;
            Unload();
            return;
        }
        if (outcome.ending == merge::Outcome::Ending::Failed && list->changes.empty())
            return;

        changes::ChangesWindow shown(QString::fromStdString(previewTitle), list,
                                     previewAbout(outcome, database, update), &window());
        bool updateNow = false;
        shown.setAction(
            QStringLiteral("Update Now"),
            QStringLiteral("Run this update on the two files, keeping an undo file of it"), [&] {
                if (stampOf(database) == databaseStamp && stampOf(update) == updateStamp) {
                    updateNow = true;
                    return true;
                }
                if (ui::MsgBox("The Varnholt 2000 Database or the Update File changed since this "
                               "preview, so it no longer shows what the update would do. The "
                               "update was not run." +
                                   crlf + crlf + "Preview the update again?",
                               ui::YesNo | ui::QuestionIcon, previewTitle) == ui::Yes) {
                    again = true;
                    return true;
                }
                return false;
            });
        shown.exec();
        if (updateNow && filesFound(database, update))
            RunUpdate(merge::Locations{database, update});
    }
}

void FrmMain::cmdUndoUpdate_Click() {
    showLastUpdate(VarnholtDatabase().text().toStdString());
}

void FrmMain::showLastUpdate(const std::string& database) {
    const std::vector<fs::path> files = undoFolder().filesFor(database);
    if (files.empty()) {
        ui::MsgBox("No update of \"" + database + "\" can be undone: the folder \"" +
                       undoFolder().folder().string() + "\" holds no undo file of it.",
                   ui::ExclamationIcon, lastUpdateTitle);
        refreshUndoButton();
        return;
    }
    const std::string undo = files.front().string();
    std::shared_ptr<merge::ChangeList> list;
    QString about;
    try {
        const Running running(*this);
        const WaitCursor waiting;
        merge::UndoFile file = merge::UndoFile::open(undo, merge::DatabasePassword);
        list = std::make_shared<merge::ChangeList>(merge::changesOf(file));
        about = lastUpdateAbout(file, database);
    } catch (const std::exception& e) {
        ui::MsgBox("The last update of \"" + database + "\" cannot be shown: " + reasonOf(e),
                   ui::ExclamationIcon, lastUpdateTitle);
        return;
    }
    changes::ChangesWindow shown(QString::fromStdString(lastUpdateTitle), list, about, &window());
    shown.setAction(QString::fromStdString(undoTitle),
                    QStringLiteral("Give every record this update overwrote its values back, and "
                                   "remove every record it added"),
                    [&] { return undoLastUpdate(database, undo, *list); });
    shown.exec();
    refreshUndoButton();
}

bool FrmMain::undoLastUpdate(const std::string& database, const std::string& undo,
                             const merge::ChangeList& changes) {
    std::int64_t restored = 0;
    std::int64_t removed = 0;
    for (const merge::TableChanges& table : changes.tables) {
        restored += table.overwritten;
        removed += table.added;
    }
    const std::string question = "Undo this update of \"" + database + "\"?" + crlf + crlf +
                                 records(restored) +
                                 " will get back what they held before it, and " +
                                 records(removed) + " it added will be removed.";
    if (ui::MsgBox(question, ui::YesNo | ui::QuestionIcon | ui::DefaultButton2, undoTitle) !=
        ui::Yes)
        return false;
    merge::UndoReport report;
    try {
        const Running running(*this);
        report = undoBehindProgress(database, undo, false);
        if (!report.applied) {
            if (ui::MsgBox(changedText(report, database),
                           ui::YesNo | ui::ExclamationIcon | ui::DefaultButton2,
                           undoTitle) != ui::Yes)
                return false;
            report = undoBehindProgress(database, undo, true);
        }
    } catch (const std::exception& e) {
        ui::MsgBox("The update was not undone: " + reasonOf(e), ui::ExclamationIcon, undoTitle);
        return false;
    }
    std::string note;
    if (report.closing)
        note = crlf + crlf + merge::closingText(*report.closing, merge::Wording::Plain);
    try {
        merge::UndoFolder::markUndone(undo);
    } catch (const std::exception& e) {
        note += crlf + crlf + "Its undo file \"" + undo + "\" could not be marked as undone (" +
                reasonOf(e) + "), so \"Undo Update...\" still offers it.";
    }
    ui::MsgBox(doneText(report) + note, note.empty() ? ui::OkOnly : ui::ExclamationIcon, undoTitle);
    return true;
}

} // namespace app
