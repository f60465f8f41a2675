// The main window's safety net: the undo file of every update, "Preview..."
// and "Undo Update...", and the changes window they open.
#include "app/FrmMain.h"
#include "app/UndoFiles.h"
#include "changes/ChangesWindow.h"
#include "tests/support/MergeFiles.h"
#include "tests/support/StoredTables.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The main database: a record the update overwrites, one it leaves alone
// (not older), a null key part; the update adds in other letter case too.
const std::string mainSql = "INSERT INTO Lodges (F1, F2, F12) VALUES ('L1', 'one', '2000-01-01'), "
                            "('L2', 'kept', '2030-01-01'), (NULL, 'null key', '2000-01-01');"
                            "INSERT INTO MValues VALUES ('V1', 'A', 'fine', '2000-01-01', 12.5);";
const std::string updateSql =
    "INSERT INTO Lodges (F1, F2, F12) VALUES ('l1', 'one later', '2000-02-01'), "
    "('L2', 'older', '2001-01-01'), (NULL, 'null later', '2001-01-01'), "
    "('N1', 'new', '2000-01-01'), ('n1', 'newer', '2000-05-01');"
    "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('I2', 'B', 'new', NULL);"
    "INSERT INTO MValues VALUES ('v1', 'a', 'better', '2000-02-02', 7), "
    "('V3', 'B', 'new', '2000-01-01', NULL);";

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string csvOf(changes::ChangesWindow& window, const std::string& path) {
    EXPECT_TRUE(window.saveCsv(path));
    return bytesOf(path);
}

class SafetyNetTest : public MergeFilesTest {
protected:
    void SetUp() override {
        MergeFilesTest::SetUp();
        execOn(mainPath, mainSql);
        execOn(updatePath, updateSql);
        before = storedTables(mainPath);
        form.VarnholtDatabase().setText(QString::fromStdString(mainPath));
        form.VarnholtUpdate().setText(QString::fromStdString(updatePath));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(app::undoFolder().folder(), ec);
    }

    // Runs `act` on the changes window once it is up (it is modal); `act`
    // closes it, by a button or by the test's own hand.
    static void onChangesWindow(std::function<void(changes::ChangesWindow&)> act) {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* window = dynamic_cast<changes::ChangesWindow*>(widget);
                if (window && window->isVisible()) {
                    timer->stop();
                    timer->deleteLater();
                    act(*window);
                    if (window->isVisible())
                        window->reject();
                    return;
                }
            }
        });
        timer->start(5);
    }

    static QPushButton& button(QWidget& window, const char* name) {
        auto* found = window.findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }

    std::vector<fs::path> undoFiles() const { return app::undoFolder().filesFor(mainPath); }

    ui::ScriptedDialogs dialogs;
    progress::FrmVHUpdate progress;
    app::FrmMain form{progress};
    StoredTables before;
};

TEST_F(SafetyNetTest, APreviewChangesNeitherFileAndListsWhatTheUpdateThenDoes) {
    const std::string mainBytes = bytesOf(mainPath);
    const std::string updateBytes = bytesOf(updatePath);
    const auto folder = listing(dir.path().string());
    const std::string saved = dir.file("../preview-" + std::to_string(getpid()) + ".csv");

    std::string previewCsv;
    std::string title;
    onChangesWindow([&](changes::ChangesWindow& window) {
        title = window.windowTitle().toStdString();
        EXPECT_EQ(window.model().total(), 7);
        previewCsv = csvOf(window, saved);
        // The filters: one table, one kind, a search over values.
        auto* table = window.findChild<QComboBox*>(QStringLiteral("tableFilter"));
        table->setCurrentIndex(table->findData(QStringLiteral("MValues")));
        EXPECT_EQ(window.model().rowCount(), 2);
        window.findChild<QLineEdit*>(QStringLiteral("search"))->setText(QStringLiteral("BETTER"));
        EXPECT_EQ(window.model().rowCount(), 1);
        window.reject();
    });
    form.cmdPreview_Click();
    fs::remove(saved);
    EXPECT_EQ(title, "Update Preview");
    EXPECT_TRUE(dialogs.asked().empty()) << dialogs.asked().front().text;
    EXPECT_EQ(bytesOf(mainPath), mainBytes);
    EXPECT_EQ(bytesOf(updatePath), updateBytes);
    EXPECT_EQ(listing(dir.path().string()), folder);
    EXPECT_TRUE(undoFiles().empty());
    EXPECT_THAT(previewCsv, HasSubstr("Lodges,overwritten,,,,F2,null key,null later"));
    EXPECT_THAT(previewCsv, HasSubstr("Lodges,added,N1,"));

    // The real update, then its changes read back from its undo file: the
    // same CSV, byte for byte.
    form.Command1_Click();
    ASSERT_EQ(undoFiles().size(), 1u);
    EXPECT_TRUE(form.cmdUndoUpdate().isEnabled());
    std::string lastCsv;
    onChangesWindow([&](changes::ChangesWindow& window) {
        title = window.windowTitle().toStdString();
        lastCsv = csvOf(window, saved);
        window.reject();
    });
    form.cmdUndoUpdate_Click();
    fs::remove(saved);
    EXPECT_EQ(title, "Last Update");
    EXPECT_EQ(lastCsv, previewCsv);
}

TEST_F(SafetyNetTest, UpdateNowRunsThePreviewedUpdateOnlyWhileNeitherFileChanged) {
    // Changed after the preview: refused, nothing written, a new preview
    // offered (No here).
    onChangesWindow([&](changes::ChangesWindow& window) {
        execOn(updatePath, "INSERT INTO Lodges (F1, F12) VALUES ('X9', '2000-01-01')");
        button(window, "action").click();
        EXPECT_TRUE(window.isVisible());
        window.reject();
    });
    form.cmdPreview_Click();
    ASSERT_EQ(dialogs.asked().size(), 1u);
    EXPECT_THAT(dialogs.asked()[0].text, HasSubstr("changed since this preview"));
    EXPECT_EQ(storedTables(mainPath), before);
    EXPECT_TRUE(undoFiles().empty());

    // Unchanged: the update runs, with its undo file, and ends in its summary.
    onChangesWindow([&](changes::ChangesWindow& window) { button(window, "action").click(); });
    form.cmdPreview_Click();
    ASSERT_EQ(dialogs.asked().size(), 2u);
    EXPECT_THAT(dialogs.asked()[1].text, HasSubstr("Varnholt 2000 Update Complete!"));
    EXPECT_NE(storedTables(mainPath), before);
    EXPECT_EQ(undoFiles().size(), 1u);
}

TEST_F(SafetyNetTest, UndoThisUpdateAsksThenPutsBackEveryValueTypeAndRowId) {
    EXPECT_FALSE(form.cmdUndoUpdate().isEnabled());
    form.Command1_Click();
    ASSERT_NE(storedTables(mainPath), before);
    EXPECT_TRUE(form.cmdUndoUpdate().isEnabled());
    // Another database in the first box has no update to undo.
    form.VarnholtDatabase().setText(QString::fromStdString(updatePath));
    EXPECT_FALSE(form.cmdUndoUpdate().isEnabled());
    form.VarnholtDatabase().setText(QString::fromStdString(mainPath));
    EXPECT_TRUE(form.cmdUndoUpdate().isEnabled());

    // No, the default, changes nothing and keeps the window.
    dialogs.answer(ui::No);
    dialogs.answer(ui::Yes);
    bool stayed = false;
    onChangesWindow([&](changes::ChangesWindow& window) {
        button(window, "action").click();
        stayed = window.isVisible();
        button(window, "action").click();
    });
    const std::size_t asked = dialogs.asked().size();
    form.cmdUndoUpdate_Click();
    EXPECT_TRUE(stayed);
    ASSERT_EQ(dialogs.asked().size(), asked + 3);
    const ui::MessageRequest& question = dialogs.asked()[asked];
    EXPECT_EQ(question.style, ui::YesNo | ui::QuestionIcon | ui::DefaultButton2);
    EXPECT_THAT(question.text, HasSubstr("4 records will get back what they held before it, "
                                         "and 3 records it added will be removed."));
    EXPECT_THAT(dialogs.asked()[asked + 2].text, HasSubstr("The update was undone."));
    EXPECT_THAT(dialogs.asked()[asked + 2].text,
                HasSubstr("Lodges: 3 records restored, 1 record removed"));
    EXPECT_EQ(storedTables(mainPath), before);
    // Taken back: no longer offered.
    EXPECT_TRUE(undoFiles().empty());
    EXPECT_FALSE(form.cmdUndoUpdate().isEnabled());
}

TEST_F(SafetyNetTest, RecordsChangedSinceAreListedAndKeptWhileTheOthersAreUndone) {
    form.Command1_Click();
    execOn(mainPath, "UPDATE MValues SET CONDITION = 'mine' WHERE IDNUM = 'V3'");
    dialogs.answer(ui::Yes); // undo?
    dialogs.answer(ui::No);  // the others?
    onChangesWindow([&](changes::ChangesWindow& window) { button(window, "action").click(); });
    const std::size_t asked = dialogs.asked().size();
    form.cmdUndoUpdate_Click();
    ASSERT_EQ(dialogs.asked().size(), asked + 2);
    const std::string& refusal = dialogs.asked()[asked + 1].text;
    EXPECT_THAT(refusal, HasSubstr("1 record of \"" + mainPath +
                                   "\" changed since the update wrote it, so nothing was undone"));
    EXPECT_THAT(refusal, HasSubstr("MValues record 2 (IDNUM \"V3\", ISSUE \"B\")"));
    EXPECT_EQ(std::count(refusal.begin(), refusal.end(), '\n'), 4) << refusal; // one record listed
    const StoredTables edited = storedTables(mainPath);
    EXPECT_NE(edited, before);
    EXPECT_EQ(undoFiles().size(), 1u);

    dialogs.answer(ui::Yes);
    dialogs.answer(ui::Yes);
    onChangesWindow([&](changes::ChangesWindow& window) { button(window, "action").click(); });
    form.cmdUndoUpdate_Click();
    StoredTables now = storedTables(mainPath);
    // Everything back but the record edited by hand.
    ASSERT_EQ(now["MValues"].size(), 2u);
    EXPECT_EQ(now["MValues"][1].values[2], db::StoredValue::text("mine"));
    now["MValues"].pop_back();
    EXPECT_EQ(now, before);
}

TEST_F(SafetyNetTest, ACancelledUpdateIsUndoneToo) {
    // Cancelled after the third Lodges record: those saved, the rest not.
    progress.Load();
    bool cancelled = false;
    QObject::connect(&progress.ProgressBar1(), &QProgressBar::valueChanged, [&](int value) {
        if (!cancelled && value == 3 &&
            progress.lblLabel1().text().contains(QStringLiteral("Lodges"))) {
            cancelled = true;
            progress.AbortRequested = true;
        }
    });
    form.Command1_Click();
    ASSERT_TRUE(cancelled);
    EXPECT_THAT(dialogs.asked().back().text, HasSubstr("Cancelled!"));
    ASSERT_EQ(undoFiles().size(), 1u);

    dialogs.answer(ui::Yes);
    std::string about;
    onChangesWindow([&](changes::ChangesWindow& window) {
        about = window.findChild<QLabel*>(QStringLiteral("about"))->text().toStdString();
        button(window, "action").click();
    });
    form.cmdUndoUpdate_Click();
    EXPECT_THAT(about, HasSubstr("It was cancelled"));
    EXPECT_EQ(storedTables(mainPath), before);
}

TEST_F(SafetyNetTest, WithoutAnUndoFileTheUpdateDoesNotStartAndSaysWhereAndWhy) {
    const fs::path folder = app::undoFolder().folder();
    fs::create_directories(folder.parent_path());
    std::ofstream(folder.string()) << "in the way";
    form.Command1_Click();
    fs::remove(folder);
    ASSERT_EQ(dialogs.asked().size(), 1u);
    EXPECT_THAT(dialogs.asked()[0].text,
                HasSubstr("The update did not start: the undo file that lets you take it back "
                          "could not be made in the folder \"" +
                          folder.string() + "\"."));
    EXPECT_THAT(dialogs.asked()[0].text, HasSubstr("Nothing was written to the database."));
    EXPECT_EQ(storedTables(mainPath), before);
}

TEST_F(SafetyNetTest, TheNewButtonsSitLeftOfExitAfterTheOtherControlsInTabOrder) {
    QPushButton& preview = form.cmdPreview();
    QPushButton& undo = form.cmdUndoUpdate();
    EXPECT_EQ(preview.text(), "Preview...");
    EXPECT_EQ(undo.text(), "Undo Update...");
    EXPECT_EQ(preview.accessibleName(), "Preview...");
    EXPECT_EQ(undo.accessibleName(), "Undo Update...");
    EXPECT_FALSE(preview.toolTip().isEmpty());
    EXPECT_FALSE(undo.toolTip().isEmpty());
    const QRect exit = form.Command2().geometry();
    EXPECT_EQ(preview.geometry().top(), exit.top());
    EXPECT_LT(undo.geometry().right(), exit.left());
    EXPECT_LT(preview.geometry().right(), undo.geometry().left());
    EXPECT_EQ(form.Command3(1).nextInFocusChain(), &preview);
    EXPECT_EQ(preview.nextInFocusChain(), &undo);
}

TEST(ChangesModelTest, HundredThousandRowsAreFilteredAndSortedWithoutAWidgetPerRow) {
    auto list = std::make_shared<merge::ChangeList>();
    for (int i = 0; i < 100000; ++i) {
        merge::Change change;
        change.table = i % 4 == 0 ? "Lodges" : "MValues";
        change.added = i % 2 == 0;
        change.key[0] = "K" + std::to_string(99999 - i);
        if (!change.added)
            change.fields.push_back({"F2", "old " + std::to_string(i), "new " + std::to_string(i)});
        list->add(change);
    }
    changes::ChangesWindow window(QStringLiteral("Update Preview"), list, QStringLiteral("test"));
    window.show();
    EXPECT_LT(window.findChildren<QWidget*>().size(), 200);
    changes::ChangesModel& model = window.model();
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(list->tables[0].added, 25000);

    model.setFilter(QStringLiteral("Lodges"), changes::ChangesModel::KindFilter::All, {});
    EXPECT_EQ(model.rowCount(), 25000);
    model.setFilter({}, changes::ChangesModel::KindFilter::Overwritten, QStringLiteral("NEW 4999"));
    EXPECT_EQ(model.rowCount(), 6); // 4999, 49991 ... 49999 odd ones
    model.setFilter({}, changes::ChangesModel::KindFilter::All, {});
    model.sort(changes::ChangesModel::Key, Qt::AscendingOrder);
    EXPECT_EQ(model.changeAt(0)->key[0], "K0");
    EXPECT_EQ(model.data(model.index(0, changes::ChangesModel::Number), Qt::DisplayRole).toInt(),
              100000);
    model.sort(changes::ChangesModel::Number, Qt::DescendingOrder);
    EXPECT_EQ(model.changeAt(0)->key[0], "K0");
    EXPECT_EQ(model.data(model.index(1, changes::ChangesModel::Kind), Qt::DisplayRole).toString(),
              "added");
}

} // namespace
} // namespace testing_support
