#include "progress/FrmVHUpdate.h"

#include "platform/db/Data.h"
#include "platform/ui/Dialogs.h"
#include "tests/support/MergeFiles.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using progress::FrmVHUpdate;
using ::testing::ElementsAre;

const ui::MessageRequest cancelQuestion{"Cancel Operation?", 36,
                                        "Are you sure you want to abort the update?"};

class FrmVHUpdateTest : public MergeFilesTest {
protected:
    // Six update records, none of them in the main database.
    void makeSixNewLodges() {
        std::vector<Lodge> update;
        for (char key = 'A'; key <= 'F'; ++key)
            update.push_back(lodge(std::string(1, key), "2024-01-01 00:00:00", "u"));
        insertLodges(updatePath, update);
    }

    // Once the bar shows `value`, `act` runs at the merge's next yield, as a
    // user's click would.
    void whenBarShows(int value, std::function<void()> act) {
        QObject::connect(&form.ProgressBar1(), &QProgressBar::valueChanged,
                         [value, act](int shown) {
                             if (shown == value)
                                 QMetaObject::invokeMethod(qApp, act, Qt::QueuedConnection);
                         });
    }

    std::int32_t merge() { return form.LodgeUpdate(mainPath, updatePath); }

    ui::ScriptedDialogs dialogs;
    FrmVHUpdate form;
};

TEST_F(FrmVHUpdateTest, LoadingMakesTheHiddenWindowAndRunsItsLoadStep) {
    form.LodgeCount = 5;
    form.AbortRequested = true;
    form.Load();

    QWidget& window = form.window();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Varnholt 2000 Update");
    EXPECT_EQ(window.size(),
              QSize(ui::twipsToPixelsX(window, 4380), ui::twipsToPixelsY(window, 2310)));
    EXPECT_EQ(form.ImageList1().Picture(1).size(), QSize(32, 32));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(form.DBPassword, "Kor240853");
    EXPECT_FALSE(form.AbortRequested);
    EXPECT_EQ(form.LodgeCount, 5);

    EXPECT_EQ(form.ProgressBar1().Min(), 0);
    EXPECT_EQ(form.ProgressBar1().Max(), 100);
    EXPECT_TRUE(form.lblLabel1().text().isEmpty());
    EXPECT_EQ(form.lblLabel1().alignment(), Qt::AlignCenter);
    EXPECT_TRUE(form.lblLabel1().font().bold());
    EXPECT_DOUBLE_EQ(form.lblLabel1().font().pointSizeF(), 9.75);
    EXPECT_EQ(form.cmdCommand1().text(), "Cancel");
}

TEST_F(FrmVHUpdateTest, UnloadingKeepsTheMembersAndDropsControlsAndConnections) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    EXPECT_EQ(merge(), 1);
    form.ValueCount = 9;
    form.AbortRequested = true;
    ASSERT_TRUE(form.Data1().hasRecordset());

    form.Unload();
    EXPECT_FALSE(form.isLoaded());
    EXPECT_TRUE(form.AbortRequested);
    EXPECT_EQ(form.LodgeCount, 1);
    EXPECT_TRUE(sideFilesOf(mainPath).empty()); // the main database was closed

    // Touching a control loads the window again, hidden, with its load step.
    EXPECT_TRUE(form.lblLabel1().text().isEmpty());
    EXPECT_TRUE(form.isLoaded());
    EXPECT_FALSE(form.window().isVisible());
    EXPECT_FALSE(form.AbortRequested);
    EXPECT_FALSE(form.Data1().hasRecordset());
    EXPECT_EQ(form.ValueCount, 9);
    EXPECT_EQ(form.LodgeCount, 1);
}

TEST_F(FrmVHUpdateTest, CancelAnsweredNoChangesNothing) {
    form.Show();
    form.cmdCommand1().click();

    EXPECT_THAT(dialogs.asked(), ElementsAre(cancelQuestion));
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(form.window().isVisible());
    EXPECT_FALSE(form.AbortRequested);
}

TEST_F(FrmVHUpdateTest, EscapeAsksTheCancelQuestionAsCancelDoes) {
    dialogs.answer(ui::No);
    form.Show();
    form.window().activateWindow();
    QTest::keyClick(&form.window(), Qt::Key_Escape);
    EXPECT_THAT(dialogs.asked(), ElementsAre(cancelQuestion));
    EXPECT_TRUE(form.isLoaded());

    dialogs.answer(ui::Yes);
    QTest::keyClick(&form.cmdCommand1(), Qt::Key_Escape);
    EXPECT_EQ(dialogs.asked().size(), 2u);
    EXPECT_FALSE(form.isLoaded());
    EXPECT_TRUE(form.AbortRequested);
}

TEST_F(FrmVHUpdateTest, TheWindowIconComesInTheSizesADesktopAsksFor) {
    form.Load();
    const QIcon icon = form.window().windowIcon();
    EXPECT_EQ(icon.pixmap(QSize(32, 32)).toImage(), form.ImageList1().Picture(1).toImage());
    for (const int size : {16, 48, 256})
        EXPECT_EQ(icon.actualSize(QSize(size, size)), QSize(size, size)) << size;
}

TEST_F(FrmVHUpdateTest, CancelAnsweredYesSetsTheFlagAndUnloads) {
    dialogs.answer(ui::Yes);
    form.Show();
    form.cmdCommand1().click();

    EXPECT_THAT(dialogs.asked(), ElementsAre(cancelQuestion));
    EXPECT_FALSE(form.isLoaded());
    EXPECT_TRUE(form.AbortRequested);
}

TEST_F(FrmVHUpdateTest, AMergeShowsItsTableAndMovesTheBarToTheEnd) {
    makeSixNewLodges();
    form.Show();

    EXPECT_EQ(merge(), 6);
    EXPECT_EQ(form.LodgeCount, 6);
    EXPECT_EQ(form.lblLabel1().text(), "Updating Varnholt Lodges Table");
    EXPECT_EQ(form.ProgressBar1().Max(), 6);
    EXPECT_EQ(form.ProgressBar1().Value(), 6);
    EXPECT_EQ(form.ProgressBar1().value(), 6);
    EXPECT_TRUE(dialogs.asked().empty());
}

TEST_F(FrmVHUpdateTest, CancelConfirmedDuringAMergeStopsItWithTheRecordsSavedSoFar) {
    makeSixNewLodges();
    form.Show();
    dialogs.answer(ui::Yes);
    whenBarShows(3, [this] { form.cmdCommand1().click(); });

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(form.LodgeCount, 3);
    EXPECT_EQ(lodgesOf(mainPath).size(), 3u);
    EXPECT_TRUE(form.AbortRequested);
    EXPECT_FALSE(form.isLoaded());
}

TEST_F(FrmVHUpdateTest, CancelAnsweredNoDuringAMergeLetsItFinish) {
    makeSixNewLodges();
    form.Show();
    whenBarShows(3, [this] { form.cmdCommand1().click(); });

    EXPECT_EQ(merge(), 6);
    EXPECT_THAT(dialogs.asked(), ElementsAre(cancelQuestion));
    EXPECT_EQ(lodgesOf(mainPath).size(), 6u);
}

TEST_F(FrmVHUpdateTest, AFrameCloseDuringAMergeAsksAndNoKeepsItGoing) {
    makeSixNewLodges();
    form.Show();
    whenBarShows(3, [this] { form.window().close(); });

    EXPECT_EQ(merge(), 6);
    EXPECT_THAT(dialogs.asked(), ElementsAre(cancelQuestion));
    EXPECT_TRUE(form.isLoaded());
    EXPECT_TRUE(form.window().isVisible());
    EXPECT_FALSE(form.AbortRequested);
}

TEST_F(FrmVHUpdateTest, AFrameCloseDuringAMergeAnsweredYesCancelsIt) {
    makeSixNewLodges();
    form.Show();
    dialogs.answer(ui::Yes);
    whenBarShows(3, [this] { form.window().close(); });

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(form.LodgeCount, 3);
    EXPECT_TRUE(form.AbortRequested);
    EXPECT_FALSE(form.isLoaded());
}

TEST_F(FrmVHUpdateTest, TheFourMergesRunOnTheWindowEachWithItsOwnCount) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    for (const std::string table : {"Issues", "Activities", "MValues"}) {
        const std::size_t columns = table == "Issues" ? 14 : table == "Activities" ? 6 : 5;
        std::vector<std::vector<db::Value>> records;
        for (char key = 'A'; key <= 'F'; ++key) {
            records.push_back({text(std::string(1, key)), text(table)});
            records.back().resize(columns);
        }
        if (table == "Activities")
            for (auto& record : records)
                record[5] = db::Value::integer(1);
        insertRows(updatePath, table, records);
    }
    form.Show();
    // Each merge of six records is closed from the frame halfway; No goes on.
    whenBarShows(3, [this] { form.window().close(); });

    EXPECT_EQ(form.LodgeUpdate(mainPath, updatePath), 1);
    EXPECT_EQ(form.IssueUpdate(mainPath, updatePath), 6);
    EXPECT_EQ(form.lblLabel1().text(), "Updating Varnholt Issues Table");
    EXPECT_EQ(form.ActivityUpdate(mainPath, updatePath), 6);
    EXPECT_EQ(form.lblLabel1().text(), "Updating Varnholt Activities Table");
    EXPECT_TRUE(form.Data2().hasRecordset());
    EXPECT_EQ(form.ValuesUpdate(mainPath, updatePath), 6);
    EXPECT_EQ(form.lblLabel1().text(), "Updating Varnholt Values Table");

    EXPECT_EQ(dialogs.asked().size(), 3u);
    EXPECT_EQ(form.LodgeCount, 1);
    EXPECT_EQ(form.IssueCount, 6);
    EXPECT_EQ(form.ActivityCount, 6);
    EXPECT_EQ(form.ValueCount, 6);
    EXPECT_FALSE(form.merging());
    // The last merge closed the update database; the main one stays open.
    EXPECT_FALSE(form.Data2().hasRecordset());
    EXPECT_TRUE(form.Data1().hasRecordset());
}

TEST_F(FrmVHUpdateTest, AFrameCloseOutsideAMergeUnloadsWithoutAQuestion) {
    form.Show();
    form.window().close();

    EXPECT_TRUE(dialogs.asked().empty());
    EXPECT_FALSE(form.isLoaded());
    EXPECT_FALSE(form.AbortRequested);
}

TEST_F(FrmVHUpdateTest, MovesAndMeasuresItsFrameInTwips) {
    form.Move(1500, 3000);
    form.Show();
    const float pixel = ui::pixelsToTwipsX(form.window(), 1);

    const ui::Twips frame = form.frame();
    EXPECT_NEAR(frame.Left, 1500, pixel);
    EXPECT_NEAR(frame.Top, 3000, pixel);
    EXPECT_GE(frame.Width, 4380 - pixel);
    EXPECT_GE(frame.Height, 2310 - pixel);
}

TEST(ProgressBarTest, KeepsTheNumbersItWasGivenAndShowsThemWithinRange) {
    progress::ProgressBar bar;
    bar.setMin(0);
    bar.setMax(3);
    bar.setValue(1);
    EXPECT_EQ(bar.value(), 1);

    bar.setValue(2.6f);
    EXPECT_FLOAT_EQ(bar.Value(), 2.6f);
    EXPECT_EQ(bar.value(), 3);

    // A smaller table after a larger one: the bar shows its end until Value
    // comes back into range.
    bar.setMax(100000);
    bar.setValue(100000);
    bar.setMax(2);
    EXPECT_EQ(bar.Max(), 2);
    EXPECT_EQ(bar.maximum(), 2);
    EXPECT_EQ(bar.value(), 2);
    bar.setValue(1);
    EXPECT_EQ(bar.value(), 1);
}

TEST(FrmVHUpdateInstanceTest, IsOneObjectReachedByItsName) {
    FrmVHUpdate& first = progress::frmVHUpdate();
    first.IssueCount = 4;
    EXPECT_EQ(&progress::frmVHUpdate(), &first);
    EXPECT_EQ(progress::frmVHUpdate().IssueCount, 4);
    first.Unload();
}

} // namespace
} // namespace testing_support
