#include "app/FrmMain.h"

#include "app/ModMain.h"
#include "merge/Update.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/ui/Windows.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/MergeFiles.h"
#include "tests/support/UpdateTexts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {
namespace {

using app::FrmMain;

const std::string notFoundTitle = "Update Available";

// Where each table keeps its date stamp, and how many fields it has.
struct TableShape {
    std::string name;
    std::size_t fields;
    std::size_t stamp;
};
const std::vector<TableShape> shapes{
    {"Lodges", 13, 11}, {"Issues", 14, 8}, {"Activities", 6, 4}, {"MValues", 5, 3}};

std::string completeText(int lodges, int issues, int activities, int values) {
    return "Varnholt 2000 Update Complete!\r\n\r\n" +
           countLines(lodges, issues, activities, values);
}

class FrmMainTest : public MergeFilesTest {
protected:
    void SetUp() override {
        MergeFilesTest::SetUp();
        form.VarnholtDatabase().setText(QString::fromStdString(mainPath));
        form.VarnholtUpdate().setText(QString::fromStdString(updatePath));
    }

    // `count` records of a table whose keys start with `prefix`, all dated
    // 2024-01-01; Activities' F6 is the record's number.
    static void addRecords(const std::string& path, const TableShape& table, int count,
                           const std::string& prefix = "K") {
        std::vector<std::vector<db::Value>> records;
        for (int i = 0; i < count; ++i) {
            std::vector<db::Value> record(table.fields);
            record[0] = text(prefix + std::to_string(i));
            record[1] = text("second-" + std::to_string(i));
            record[table.stamp] = text("2024-01-01 00:00:00");
            if (table.name == "Activities")
                record[5] = db::Value::integer(i);
            records.push_back(record);
        }
        insertRows(path, table.name, records);
    }

    static std::int64_t rowCount(const std::string& path, const std::string& table) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, "SELECT count(*) FROM " + table).at(0).at(0).asInteger();
    }

    // Runs `act` once at the next yield after the progress bar shows `value`
    // while the window's status line names `table`.
    void whenMerging(const QString& table, int value, std::function<void()> act) {
        progress.Load();
        QObject::connect(&progress.ProgressBar1(), &QProgressBar::valueChanged,
                         [this, table, value, act, done = false](int shown) mutable {
                             if (done || shown != value ||
                                 !progress.lblLabel1().text().contains(table))
                                 return;
                             done = true;
                             QMetaObject::invokeMethod(qApp, act, Qt::QueuedConnection);
                         });
    }

    bool controlsEnabled() {
        return form.VarnholtDatabase().isEnabled() && form.VarnholtUpdate().isEnabled() &&
               form.Command1().isEnabled() && form.Command2().isEnabled() &&
               form.Command3(0).isEnabled() && form.Command3(1).isEnabled();
    }

    bool controlsDisabled() {
        return !form.VarnholtDatabase().isEnabled() && !form.VarnholtUpdate().isEnabled() &&
               !form.Command1().isEnabled() && !form.Command2().isEnabled() &&
               !form.Command3(0).isEnabled() && !form.Command3(1).isEnabled();
    }

    ui::ScriptedDialogs dialogs;
    progress::FrmVHUpdate progress;
    FrmMain form{progress};
};

TEST_F(FrmMainTest, LoadsWithItsCaptionLayoutDefaultPathsAndIcon) {
    FrmMain fresh(progress);
    QWidget& window = fresh.window();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Varnholt Updater");
    EXPECT_EQ(window.size(),
              QSize(ui::twipsToPixelsX(window, 6075), ui::twipsToPixelsY(window, 2775)));
    EXPECT_EQ(fresh.VarnholtDatabase().text(),
              "c:\\program files\\varnholt software\\varnholt 2000\\Varnholt.mdb");
    EXPECT_EQ(fresh.VarnholtUpdate().text().toStdString(), ui::programFolder() + "/VHUpdate.mdb");
    EXPECT_EQ(fresh.ImageList1().Picture(1).size(), QSize(16, 16));
    EXPECT_FALSE(window.windowIcon().isNull());

    EXPECT_EQ(fresh.Command1().text(), "Update");
    EXPECT_EQ(fresh.Command2().text(), "Exit");
    EXPECT_EQ(fresh.Command3(0).text(), "...");
    EXPECT_EQ(fresh.Command3(1).geometry(),
              QRect(ui::twipsToPixelsX(window, 4980), ui::twipsToPixelsY(window, 1260),
                    ui::twipsToPixelsX(window, 480), ui::twipsToPixelsY(window, 345)));
    EXPECT_EQ(fresh.VarnholtUpdate().geometry().topLeft(),
              QPoint(ui::twipsToPixelsX(window, 270), ui::twipsToPixelsY(window, 1245)));

    // Tab goes: main box, update box, Update, Exit, then the two browse buttons.
    std::vector<QWidget*> order{&fresh.VarnholtDatabase()};
    while (order.size() < 6)
        order.push_back(order.back()->nextInFocusChain());
    EXPECT_EQ(order, (std::vector<QWidget*>{&fresh.VarnholtDatabase(), &fresh.VarnholtUpdate(),
                                            &fresh.Command1(), &fresh.Command2(),
                                            &fresh.Command3(0), &fresh.Command3(1)}));
}

TEST_F(FrmMainTest, UpdateRunsTheFourMergesInOrderAndReportsTheirCountsExactly) {
    const std::vector<int> counts{2, 3, 2, 4};
    for (std::size_t i = 0; i < shapes.size(); ++i)
        addRecords(updatePath, shapes[i], counts[i]);
    form.Show();

    // What the window shows while the update runs: the status lines in
    // order, the disabled controls, where the progress window stands.
    QStringList statusLines;
    bool disabledThroughout = true;
    QPoint progressAt;
    progress.Load();
    QObject::connect(&progress.ProgressBar1(), &QProgressBar::valueChanged, [&](int) {
        const QString line = progress.lblLabel1().text();
        if (!line.isEmpty() && (statusLines.isEmpty() || statusLines.back() != line))
            statusLines << line;
        disabledThroughout = disabledThroughout && controlsDisabled();
        progressAt = progress.window().frameGeometry().topLeft();
    });
    // A path typed into a box in the middle of the update reaches nothing.
    whenMerging("Lodges", 2, [this] { QTest::keyClicks(&form.VarnholtDatabase(), "typed"); });

    QTest::mouseClick(&form.Command1(), Qt::LeftButton);

    ASSERT_EQ(dialogs.asked().size(), 1u);
    EXPECT_EQ(dialogs.asked()[0],
              (ui::MessageRequest{completeText(2, 3, 2, 4), ui::OkOnly, "Varnholt Updater"}));
    EXPECT_EQ(
        statusLines,
        (QStringList{"Updating Varnholt Lodges Table", "Updating Varnholt Issues Table",
                     "Updating Varnholt Activities Table", "Updating Varnholt Values Table"}));
    EXPECT_TRUE(disabledThroughout);
    EXPECT_EQ(form.VarnholtDatabase().text().toStdString(), mainPath);
    for (std::size_t i = 0; i < shapes.size(); ++i)
        EXPECT_EQ(rowCount(mainPath, shapes[i].name), counts[i]) << shapes[i].name;

    const ui::Twips main = ui::frameTwips(form.window());
    const QWidget& mainWindow = form.window();
    EXPECT_EQ(progressAt, QPoint(ui::twipsToPixelsX(mainWindow, main.Left + main.Width - 2500),
                                 ui::twipsToPixelsY(mainWindow, main.Top + main.Height - 200)));

    // The run ends with the progress window and its connections gone and the
    // main window ready again.
    EXPECT_FALSE(progress.isLoaded());
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(form.isLoaded());
}

TEST_F(FrmMainTest, AnUpdateThatWritesNothingReportsZeroForEachTable) {
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 1u);
    EXPECT_EQ(dialogs.asked()[0].text, completeText(0, 0, 0, 0));
}

TEST_F(FrmMainTest, AMissingFileIsNamedAndTheMainDatabaseIsTestedFirst) {
    const std::string missing = dir.file("nowhere.mdb");
    struct Case {
        std::string database, update, message;
    };
    const std::vector<Case> cases{
        {missing, updatePath,
         "Unable to Locate the Varnholt 2000 Database at the following location: " + missing},
        {mainPath, missing,
         "Unable to Locate the Varnholt 2000 Update File at the following location: " + missing},
        {missing, missing + "2",
         "Unable to Locate the Varnholt 2000 Database at the following location: " + missing},
        {"", updatePath, "Unable to Locate the Varnholt 2000 Database at the following location: "},
        {mainPath, dir.path().string(),
         "Unable to Locate the Varnholt 2000 Update File at the following location: " +
             dir.path().string()},
    };
    addRecords(updatePath, shapes[0], 1);
    for (const Case& c : cases) {
        form.VarnholtDatabase().setText(QString::fromStdString(c.database));
        form.VarnholtUpdate().setText(QString::fromStdString(c.update));
        QTest::mouseClick(&form.Command1(), Qt::LeftButton);
        ASSERT_FALSE(dialogs.asked().empty());
        EXPECT_EQ(dialogs.asked().back(),
                  (ui::MessageRequest{c.message, ui::ExclamationIcon, notFoundTitle}));
        EXPECT_FALSE(progress.isLoaded());
    }
    EXPECT_EQ(dialogs.asked().size(), cases.size());
    EXPECT_EQ(rowCount(mainPath, "Lodges"), 0);
}

TEST_F(FrmMainTest, CancelDuringIssuesKeepsWhatWasSavedAndRunsNoFurtherMerge) {
    for (const TableShape& table : shapes)
        addRecords(updatePath, table, 6);
    whenMerging("Issues", 3, [this] { progress.cmdCommand1().click(); });
    dialogs.answer(ui::Yes);

    QTest::mouseClick(&form.Command1(), Qt::LeftButton);

    const std::int64_t issuesSaved = rowCount(mainPath, "Issues");
    EXPECT_GT(issuesSaved, 0);
    EXPECT_LT(issuesSaved, 6);
    EXPECT_EQ(rowCount(mainPath, "Lodges"), 6);
    EXPECT_EQ(rowCount(mainPath, "Activities"), 0);
    EXPECT_EQ(rowCount(mainPath, "MValues"), 0);
    ASSERT_EQ(dialogs.asked().size(), 2u); // the question, then the report
    EXPECT_EQ(dialogs.asked()[1],
              (ui::MessageRequest{"Varnholt 2000 Update Cancelled!\r\n\r\n" +
                                      countLines(6, static_cast<int>(issuesSaved), 0, 0),
                                  ui::OkOnly, "Varnholt Updater"}));
    EXPECT_FALSE(progress.isLoaded());
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(FrmMainTest, AnErrorEndsTheUpdateNotTheProgramAndASecondRunSucceeds) {
    addRecords(updatePath, shapes[0], 2);
    addRecords(updatePath, shapes[1], 2);
    addRecords(updatePath, shapes[3], 2);
    std::vector<db::Value> good(6), bad(6);
    good[0] = text("A");
    good[5] = db::Value::integer(1);
    bad[0] = text("B");
    bad[5] = text("twelve");
    insertRows(updatePath, "Activities", {good, bad});

    QTest::mouseClick(&form.Command1(), Qt::LeftButton);

    ASSERT_EQ(dialogs.asked().size(), 1u);
    const ui::MessageRequest& report = dialogs.asked()[0];
    EXPECT_EQ(report.style, ui::ExclamationIcon);
    EXPECT_EQ(report.title, "Varnholt Updater");
    EXPECT_TRUE(report.text.starts_with(
        "Varnholt 2000 Update Stopped!\r\n\r\nThe update of the Activities table failed:\r\n"))
        << report.text;
    EXPECT_NE(report.text.find("\"twelve\" in its key field F6"), std::string::npos) << report.text;
    EXPECT_TRUE(report.text.ends_with(countLines(2, 2, 1, 0))) << report.text;
    EXPECT_EQ(rowCount(mainPath, "Activities"), 1);
    EXPECT_EQ(rowCount(mainPath, "MValues"), 0);
    EXPECT_FALSE(progress.isLoaded());
    EXPECT_TRUE(form.isLoaded());
    ASSERT_TRUE(controlsEnabled());

    // The user mends the update file and tries again from the same window.
    {
        auto database = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec("UPDATE Activities SET F6 = 12 WHERE F1 = 'B'", "test setup");
    }
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 2u);
    EXPECT_EQ(dialogs.asked()[1].text, completeText(0, 0, 1, 2));
}

TEST_F(FrmMainTest, AFileLeftOutOfItsJournalModeIsSaidAfterTheSummaryAndPutRightNextTime) {
    addRecords(updatePath, shapes[0], 2);
    const std::string before = dir.file("before.mdb");
    std::filesystem::copy_file(mainPath, before);
    // A first run, counting what the engine deletes beside the main file.
    FaultVfs::install();
    long deletes = 0;
    {
        const ArmedFault counting(mainPath, {});
        QTest::mouseClick(&form.Command1(), Qt::LeftButton);
        deletes = FaultVfs::counts()[static_cast<std::size_t>(IoOp::Delete)];
    }
    ASSERT_GT(deletes, 0);
    std::filesystem::copy_file(before, mainPath, std::filesystem::copy_options::overwrite_existing);

    // The same run, with the last of those deletes failing: the mode goes
    // back last of all.
    {
        const ArmedFault armed(mainPath, {IoOp::Delete, deletes, true, 0, {}});
        QTest::mouseClick(&form.Command1(), Qt::LeftButton);
        EXPECT_GE(FaultVfs::failed(), 1);
    }
    ASSERT_EQ(dialogs.asked().size(), 2u);
    const ui::MessageRequest& report = dialogs.asked()[1];
    EXPECT_EQ(report.style, ui::ExclamationIcon);
    EXPECT_TRUE(report.text.starts_with(completeText(2, 0, 0, 0) + "\r\n\r\n")) << report.text;
    EXPECT_NE(report.text.find("could not be put back in its own journal mode"), std::string::npos)
        << report.text;
    EXPECT_NE(report.text.find("Nothing saved is lost"), std::string::npos) << report.text;
    EXPECT_EQ(report.text.find("I/O error"), std::string::npos) << report.text;
    EXPECT_EQ(rowCount(mainPath, "Lodges"), 2);

    // The next update finishes the job.
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 3u);
    EXPECT_EQ(dialogs.asked()[2].text, completeText(0, 0, 0, 0));
    EXPECT_EQ(journalModeOnDisk(mainPath), "delete");
    for (const std::string& side : db::sideFilesOf(mainPath))
        EXPECT_FALSE(std::filesystem::exists(side)) << side;
}

TEST_F(FrmMainTest, ClosingTheMainWindowDuringAnUpdateAsksAndYesEndsUpdateThenProgram) {
    addRecords(updatePath, shapes[0], 6);
    addRecords(updatePath, shapes[3], 2);
    form.Show();

    // No: the update goes on to its summary, the window stays.
    whenMerging("Lodges", 3, [this] { form.window().close(); });
    dialogs.answer(ui::No);
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 2u);
    EXPECT_EQ(dialogs.asked()[0].text, "Cancel Operation?");
    EXPECT_EQ(dialogs.asked()[1].text, completeText(6, 0, 0, 2));
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(form.window().isVisible());

    // Yes: the update stops, says so, and the main window goes.
    addRecords(updatePath, shapes[0], 6, "N");
    whenMerging("Lodges", 3, [this] { form.window().close(); });
    dialogs.answer(ui::Yes);
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 4u);
    EXPECT_EQ(dialogs.asked()[2].text, "Cancel Operation?");
    // Only what this run saved is reported: nothing of the first run's Values.
    const std::int64_t lodgesSaved = rowCount(mainPath, "Lodges") - 6;
    EXPECT_LT(lodgesSaved, 6);
    EXPECT_EQ(dialogs.asked()[3].text, "Varnholt 2000 Update Cancelled!\r\n\r\n" +
                                           countLines(static_cast<int>(lodgesSaved), 0, 0, 0));
    EXPECT_FALSE(progress.isLoaded());
    EXPECT_FALSE(form.isLoaded());
}

TEST_F(FrmMainTest, BrowseHandsTheDialogItsSettingsAndACancelKeepsTheText) {
    form.VarnholtDatabase().setText("/data/old.mdb");
    dialogs.chooseFile(std::nullopt);
    form.Command3_Click(0);
    EXPECT_EQ(form.VarnholtDatabase().text(), "/data/old.mdb");

    dialogs.chooseFile("/data/Chosen.MDB");
    QTest::mouseClick(&form.Command3(1), Qt::LeftButton);
    EXPECT_EQ(form.VarnholtUpdate().text(), "/data/Chosen.MDB");

    form.Command3_Click(2); // no such button: nothing is asked
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    const ui::FileRequest& first = dialogs.fileRequests()[0];
    EXPECT_EQ(first.startIn, "/data/old.mdb");
    EXPECT_EQ(first.fileName, "varnholt.mdb");
    EXPECT_EQ(first.filter, "Varnholt Database | varnholt.mdb|Varnholt databases (*.mdb)|*.mdb|"
                            "All files (*)|*");
    EXPECT_EQ(first.title, "varnholt.mdb");
    EXPECT_EQ(first.filterIndex, 1);
    const ui::FileRequest& second = dialogs.fileRequests()[1];
    EXPECT_EQ(second.startIn, updatePath);
    EXPECT_EQ(second.fileName, "VHUpdate.mdb");
    EXPECT_EQ(second.filter, "Varnholt Update Database | vhupdate.mdb|Varnholt databases "
                             "(*.mdb)|*.mdb|All files (*)|*");
    EXPECT_EQ(second.title, "vhupdate.mdb");
}

// Another program holds the main database: the windows go on answering
// while the update waits, the status line says why, and "Cancel" there ends
// the update with the file byte for byte as it was.
TEST_F(FrmMainTest, WhileAnotherProgramHoldsTheDatabaseTheWindowsAnswerAndCancelChangesNothing) {
    addRecords(updatePath, shapes[0], 3);
    const std::string before = readFile(mainPath);
    sqlite3* other = nullptr;
    sqlite3_open_v2(mainPath.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(other, VarnholtPassword.data(), static_cast<int>(VarnholtPassword.size()));
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    // A timer of the program's own, and a click on "Cancel" once the
    // update has waited 600 ms. How long the update takes to start waiting
    // (making the undo file, opening the files) is the machine's business;
    // the window must answer all the while.
    const QString waiting = QStringLiteral("Waiting for another program\u2026");
    QElapsedTimer clock;
    std::vector<qint64> ticks;
    qint64 waitingSince = -1;
    QString statusAtCancel;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        ticks.push_back(now);
        if (!progress.isLoaded() || !statusAtCancel.isEmpty())
            return;
        if (waitingSince < 0 && progress.lblLabel1().text() == waiting)
            waitingSince = now;
        if (waitingSince >= 0 && now - waitingSince >= 600) {
            statusAtCancel = progress.lblLabel1().text();
            progress.cmdCommand1().click();
        }
    });
    dialogs.answer(ui::Yes);
    form.Show();
    clock.start();
    timer.start(50);
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    timer.stop();
    const qint64 took = clock.elapsed();
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close_v2(other);

    EXPECT_EQ(statusAtCancel, waiting);
    // Well before the five seconds the engine would wait for the lock.
    EXPECT_LT(took, 4000);
    const auto whileWaiting =
        std::count_if(ticks.begin(), ticks.end(), [&](qint64 t) { return t >= waitingSince; });
    ASSERT_GE(whileWaiting, 8) << "the timer fired " << whileWaiting << " times while it waited";
    for (std::size_t i = 1; i < ticks.size(); ++i)
        EXPECT_LT(ticks[i] - ticks[i - 1], 500) << "tick " << i;
    ASSERT_EQ(dialogs.asked().size(), 2u);
    EXPECT_EQ(dialogs.asked()[0].text, "Cancel Operation?");
    EXPECT_EQ(dialogs.asked()[1].text,
              "Varnholt 2000 Update Cancelled!\r\n\r\n" + countLines(0, 0, 0, 0));
    EXPECT_FALSE(progress.isLoaded());
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(readFile(mainPath) == before) << "the file changed";
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

TEST_F(FrmMainTest, TheSameFileInBothBoxesIsRefusedHoweverItIsSpelled) {
    addRecords(updatePath, shapes[0], 1);
    const std::string link = dir.file("link.mdb");
    std::filesystem::create_symlink(mainPath, link);
    const std::string dotted =
        (std::filesystem::path(mainPath).parent_path() / ".." /
         std::filesystem::path(mainPath).parent_path().filename() / "Varnholt.mdb")
            .string();
    const std::string before = readFile(mainPath);
    for (const std::string& update : {mainPath, link, dotted}) {
        form.VarnholtUpdate().setText(QString::fromStdString(update));
        QTest::mouseClick(&form.Command1(), Qt::LeftButton);
        ASSERT_FALSE(dialogs.asked().empty());
        const ui::MessageRequest& refusal = dialogs.asked().back();
        EXPECT_EQ(refusal.style, ui::ExclamationIcon);
        EXPECT_EQ(refusal.title, notFoundTitle);
        EXPECT_NE(refusal.text.find("is the Varnholt 2000 Database itself"), std::string::npos)
            << refusal.text;
        EXPECT_FALSE(progress.isLoaded());
    }
    EXPECT_EQ(dialogs.asked().size(), 3u);
    EXPECT_TRUE(readFile(mainPath) == before) << "the file changed";
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

// An update that could not start says what is wrong with which file: no
// engine codes, no count lines, and the table only where the fault lies in
// it.
TEST_F(FrmMainTest, AnUpdateThatCouldNotStartSaysWhatIsWrongWithoutCodesOrCounts) {
    addRecords(updatePath, shapes[0], 2);
    const std::string notADatabase = dir.file("notes.mdb");
    std::ofstream(notADatabase) << std::string(4096, 'x');
    form.VarnholtDatabase().setText(QString::fromStdString(notADatabase));
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 1u);
    const std::string& text = dialogs.asked()[0].text;
    EXPECT_EQ(text, "Varnholt 2000 Update Stopped!\r\n\r\nCannot open \"" + notADatabase +
                        "\": the password is wrong, or the file is not a Varnholt database."
                        "\r\n\r\nNothing was written to the database.");

    // A table the update file lacks is named, still without counts.
    form.VarnholtDatabase().setText(QString::fromStdString(mainPath));
    {
        auto update = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadWrite);
        update->exec("DROP TABLE Issues", "test setup");
    }
    QTest::mouseClick(&form.Command1(), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked().size(), 2u);
    const std::string& second = dialogs.asked()[1].text;
    EXPECT_NE(second.find("Update Stopped!"), std::string::npos) << second;
    // The two Lodges records were saved: the counts stay.
    EXPECT_TRUE(second.ends_with(countLines(2, 0, 0, 0))) << second;
    EXPECT_EQ(second.find("(no such"), std::string::npos) << second;
}

TEST_F(FrmMainTest, EveryControlHasAnAccessibleName) {
    for (QWidget* control : form.window().findChildren<QWidget*>()) {
        if (control->parentWidget() == &form.window()) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
        }
    }
    EXPECT_EQ(form.VarnholtDatabase().accessibleName(), "Varnholt 2000 Database");
    EXPECT_EQ(form.VarnholtUpdate().accessibleName(), "Varnholt 2000 Update File");
    EXPECT_EQ(form.Command1().accessibleName(), "Update");
    for (QWidget* control : progress.window().findChildren<QWidget*>()) {
        if (control->parentWidget() == &progress.window()) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
        }
    }
}

TEST_F(FrmMainTest, ExitUnloadsTheWindow) {
    form.Show();
    QTest::mouseClick(&form.Command2(), Qt::LeftButton);
    EXPECT_FALSE(form.isLoaded());
}

TEST(FrmMainRealBoxTest, AMissingDatabaseIsReportedInARealMessageBox) {
    progress::FrmVHUpdate progress;
    FrmMain form(progress);
    form.VarnholtDatabase().setText("/no/such/Varnholt.mdb");
    QString shownText, shownTitle;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownTitle = box->windowTitle();
        shownIcon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    form.Command1_Click();
    EXPECT_EQ(shownText, "Unable to Locate the Varnholt 2000 Database at the following location: "
                         "/no/such/Varnholt.mdb");
    EXPECT_EQ(shownTitle, "Update Available");
    EXPECT_EQ(shownIcon, QMessageBox::Warning);
}

TEST(FileExistsTest, FindsOnlyReadableFilesByTheirExactPathOfAnyLength) {
    TempDir dir;
    const std::string file = dir.file("present.mdb");
    std::ofstream(file) << "x";
    EXPECT_TRUE(app::FileExists(file));
    EXPECT_FALSE(app::FileExists(dir.file("absent.mdb")));
    EXPECT_FALSE(app::FileExists(dir.path().string()));
    EXPECT_FALSE(app::FileExists(""));
    EXPECT_FALSE(app::FileExists(file + std::string(1, '\0') + "more"));

    // Far longer than 128 bytes.
    std::string deep = dir.path().string();
    for (int i = 0; i < 12; ++i) {
        deep += "/a-folder-name-of-some-length-" + std::to_string(i);
        std::filesystem::create_directory(deep);
    }
    deep += "/VHUpdate.mdb";
    std::ofstream(deep) << "x";
    ASSERT_GT(deep.size(), 300u);
    EXPECT_TRUE(app::FileExists(deep));

    // A named pipe is no file, and testing it does not wait for a writer.
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(app::FileExists(pipe));

    if (::geteuid() != 0) { // root reads every file
        ::chmod(file.c_str(), 0);
        EXPECT_FALSE(app::FileExists(file));
    }
}

} // namespace
} // namespace testing_support
