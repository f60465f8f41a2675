#include "platform/ui/Dialogs.h"

#include "tests/support/TempDir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>

// Failure messages show a QString as its text.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

// Runs `act` on the modal dialog of type T as soon as it is up.
template <typename T> void whenModal(std::function<void(T&)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        }
    });
    poll->start();
}

void press(QMessageBox& box, QMessageBox::StandardButton which) {
    box.button(which)->click();
}

TEST(MsgBoxTest, WithoutATitleTheBoxShowsTheProgramsTitle) {
    ui::ScriptedDialogs dialogs;
    ui::MsgBox("Done.");
    ui::MsgBox("Sure?", ui::YesNo | ui::QuestionIcon, "Question");
    ui::MsgBox("Empty title", ui::OkOnly, "");

    EXPECT_THAT(dialogs.asked(), ElementsAre(ui::MessageRequest{"Done.", 0, "Varnholt Updater"},
                                             ui::MessageRequest{"Sure?", 36, "Question"},
                                             ui::MessageRequest{"Empty title", 0, ""}));
}

TEST(MsgBoxTest, ScriptedAnswersComeInOrderThenTheSafeAnswer) {
    ui::ScriptedDialogs dialogs;
    dialogs.answer(ui::Yes);

    EXPECT_EQ(ui::MsgBox("first", 36), ui::Yes);
    EXPECT_EQ(ui::MsgBox("second", 36), ui::No);
    EXPECT_EQ(ui::MsgBox("third", 48), ui::Ok);
}

TEST(MsgBoxTest, ScriptedDialogsGiveWayToTheOnesBeforeThem) {
    ui::ScriptedDialogs outer;
    {
        ui::ScriptedDialogs inner;
        ui::MsgBox("to inner");
    }
    ui::MsgBox("to outer");
    ASSERT_EQ(outer.asked().size(), 1u);
    EXPECT_EQ(outer.asked()[0].text, "to outer");
}

TEST(MsgBoxTest, TheRealBoxReturnsTheButtonPressed) {
    whenModal<QMessageBox>([](QMessageBox& box) { press(box, QMessageBox::No); });
    EXPECT_EQ(ui::MsgBox("Cancel Operation?", 36, "Are you sure?"), ui::No);

    whenModal<QMessageBox>([](QMessageBox& box) { press(box, QMessageBox::Yes); });
    EXPECT_EQ(ui::MsgBox("Cancel Operation?", 36, "Are you sure?"), ui::Yes);

    QString shownText, shownTitle;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        shownText = box.text();
        shownTitle = box.windowTitle();
        shownIcon = box.icon();
        press(box, QMessageBox::Ok);
    });
    EXPECT_EQ(ui::MsgBox("Line one\r\n\r\nLine two", 48), ui::Ok);
    EXPECT_EQ(shownText, "Line one\n\nLine two");
    EXPECT_EQ(shownTitle, "Varnholt Updater");
    EXPECT_EQ(shownIcon, QMessageBox::Warning);
}

// What a message box showed while it was up.
struct ShownBox {
    int width = 0;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

ShownBox showAndLook(const std::string& text, int style, const std::string& title) {
    ShownBox shown;
    whenModal<QMessageBox>([&shown](QMessageBox& box) {
        shown = {box.width(), box.text(), box.windowTitle(), box.icon(), {}};
        for (QAbstractButton* button : box.buttons())
            shown.buttons << button->text();
        box.button(box.buttons().size() == 1 ? QMessageBox::Ok : QMessageBox::No)->click();
    });
    ui::MsgBox(text, style, title);
    return shown;
}

// The width a window manager's title bar needs for `title`: the title in a
// bold face of the application's font, and three square buttons beside it.
int titleBarNeeds(const QString& title) {
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return metrics.horizontalAdvance(title) + 3 * metrics.height();
}

TEST(MsgBoxTest, TheCancelQuestionIsAsWideAsItsTitleNeeds) {
    const QString title = "Are you sure you want to abort the update?";
    const ShownBox shown = showAndLook("Cancel Operation?", 36, title.toStdString());

    ASSERT_GT(QFontMetrics(QApplication::font()).horizontalAdvance(title), 0) << "no font";
    EXPECT_GE(shown.width, titleBarNeeds(title)) << "the box as shown is " << shown.width;
    // Only its size changed.
    EXPECT_EQ(shown.text, "Cancel Operation?");
    EXPECT_EQ(shown.title, title);
    EXPECT_EQ(shown.icon, QMessageBox::Question);
    EXPECT_THAT(shown.buttons, UnorderedElementsAre("&Yes", "&No"));
}

TEST(MsgBoxTest, ABoxStaysNarrowerThanTheScreen) {
    const std::string endless(400, 'W');
    const int screen = QApplication::primaryScreen()->availableGeometry().width();

    const ShownBox longTitle = showAndLook("Short text.", 48, endless);
    EXPECT_GT(longTitle.width, titleBarNeeds("Short text."));
    EXPECT_LE(longTitle.width, screen);
}

TEST(FileDialogTest, TheRealDialogShowsTheFilterAndReturnsTheChoice) {
    QStringList filters;
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        dialog.reject();
    });
    EXPECT_EQ(ui::showOpenDialog({.startIn = "",
                                  .fileName = "varnholt.mdb",
                                  .filter = "Varnholt Database (*.mdb) | *.mdb",
                                  .title = "Open",
                                  .filterIndex = 1}),
              std::nullopt);
    EXPECT_THAT(filters, ElementsAre("Varnholt Database (*.mdb)"));
}

// The names the dialog lists once its folder has been read.
QStringList listedNames(QFileDialog& dialog) {
    auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QStringList names;
    if (!view || !view->model())
        return names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row)
        names << view->model()->index(row, 0, root).data().toString();
    return names;
}

TEST(FileDialogTest, TheFilterFindsFilesWhateverTheLetterCaseOfTheirNames) {
    testing_support::TempDir dir;
    for (const char* name : {"VARNHOLT.MDB", "Update.Mdb", "notes.txt"})
        testing_support::writeFile(dir.file(name), "x");

    QStringList listed;
    whenModal<QFileDialog>([&](QFileDialog& dialog) {
        // The folder is read in the background: wait for it, then choose.
        auto* wait = new QTimer(&dialog);
        wait->setInterval(10);
        QObject::connect(wait, &QTimer::timeout, [&dialog, &listed, wait, ticks = 0]() mutable {
            listed = listedNames(dialog);
            if (listed.size() < 2) {
                if (++ticks == 500) // five seconds: give up, the checks below will tell
                    dialog.reject();
                return;
            }
            wait->stop();
            // As the user types it over the preset name.
            dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("VARNHOLT.MDB"));
            QMetaObject::invokeMethod(&dialog, "accept");
        });
        wait->start();
    });
    const auto chosen = ui::showOpenDialog({.startIn = dir.file("Varnholt.mdb"),
                                            .fileName = "Varnholt.mdb",
                                            .filter = "Varnholt Database (*.mdb)|*.mdb",
                                            .title = "Varnholt Database",
                                            .filterIndex = 1});

    listed.sort();
    EXPECT_EQ(listed, QStringList({"Update.Mdb", "VARNHOLT.MDB"}));
    EXPECT_EQ(
        chosen,
        QDir::toNativeSeparators(QString::fromStdString(dir.file("VARNHOLT.MDB"))).toStdString());
}

// Runs `act` on the dialog as soon as `ready` holds for it (its folder is
// read in the background); rejects the dialog if that takes five seconds.
void whenReady(std::function<bool(QFileDialog&)> ready, std::function<void(QFileDialog&)> act) {
    whenModal<QFileDialog>([ready, act](QFileDialog& dialog) {
        auto* wait = new QTimer(&dialog);
        wait->setInterval(10);
        QObject::connect(wait, &QTimer::timeout, [&dialog, ready, act, wait, ticks = 0]() mutable {
            if (!ready(dialog)) {
                if (++ticks == 500)
                    dialog.reject();
                return;
            }
            wait->stop();
            act(dialog);
        });
        wait->start();
    });
}

QStringList selectedNames(QFileDialog& dialog) {
    auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    QStringList names;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        names << index.data().toString();
    return names;
}

QString typedName(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
}

TEST(FileDialogTest, ThePresetNameSelectsTheFileSpelledInOtherLetterCase) {
    testing_support::TempDir dir;
    for (const char* name : {"Varnholt.mdb", "VHUpdate.mdb"})
        testing_support::writeFile(dir.file(name), "x");

    QString typed;
    QStringList selected;
    bool openEnabled = false;
    whenReady([](QFileDialog& dialog) { return !selectedNames(dialog).isEmpty(); },
              [&](QFileDialog& dialog) {
                  typed = typedName(dialog);
                  selected = selectedNames(dialog);
                  openEnabled = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                                    ->button(QDialogButtonBox::Open)
                                    ->isEnabled();
                  QMetaObject::invokeMethod(&dialog, "accept");
              });
    const auto chosen = ui::showOpenDialog({.startIn = dir.path().string(),
                                            .fileName = "varnholt.mdb",
                                            .filter = "Varnholt Database | varnholt.mdb",
                                            .title = "Varnholt Database",
                                            .filterIndex = 1});

    EXPECT_EQ(typed, "Varnholt.mdb");
    EXPECT_THAT(selected, ElementsAre("Varnholt.mdb"));
    EXPECT_TRUE(openEnabled);
    EXPECT_EQ(
        chosen,
        QDir::toNativeSeparators(QString::fromStdString(dir.file("Varnholt.mdb"))).toStdString());
}

TEST(FileDialogTest, AFileNamedExactlyAsThePresetComesFirst) {
    testing_support::TempDir dir;
    for (const char* name : {"VARNHOLT.MDB", "varnholt.mdb", "Varnholt.mdb"})
        testing_support::writeFile(dir.file(name), "x");

    QString typed;
    QStringList selected;
    whenReady([](QFileDialog& dialog) { return !selectedNames(dialog).isEmpty(); },
              [&](QFileDialog& dialog) {
                  typed = typedName(dialog);
                  selected = selectedNames(dialog);
                  dialog.reject();
              });
    ui::showOpenDialog({.startIn = dir.file("Varnholt.mdb"),
                        .fileName = "varnholt.mdb",
                        .filter = "Varnholt Database | varnholt.mdb",
                        .title = "Varnholt Database",
                        .filterIndex = 1});

    EXPECT_EQ(typed, "varnholt.mdb");
    EXPECT_THAT(selected, ElementsAre("varnholt.mdb"));
}

} // namespace

namespace {

TEST(ShortenedPathsTest, ALongPathKeepsItsStartAndFileNameAndShortOnesStayWhole) {
    const std::string folder = "/home/collector/" + std::string(5000, 'd');
    const std::string longPath = folder + "/Varnholt.mdb";
    const std::string text =
        "Unable to Locate the Varnholt 2000 Database at the following location: " + longPath;
    const std::string shown = ui::shortenedPaths(text);
    EXPECT_TRUE(shown.starts_with(
        "Unable to Locate the Varnholt 2000 Database at the following location: /home/collector/"))
        << shown;
    EXPECT_TRUE(shown.ends_with("\u2026/Varnholt.mdb")) << shown;
    EXPECT_LE(QString::fromStdString(shown).size(),
              QString::fromStdString(text).size() - 5000 + ui::LongestShownPath);

    // A quoted path ends at its quote; the words after it stay.
    const std::string quoted = "Cannot open \"" + longPath + "\": the password is wrong.";
    const std::string shownQuoted = ui::shortenedPaths(quoted);
    EXPECT_TRUE(shownQuoted.ends_with("\u2026/Varnholt.mdb\": the password is wrong."))
        << shownQuoted;

    for (const std::string& same :
         {std::string("Cannot open \"/data/Varnholt.mdb\"."),
          std::string("c:\\program files\\varnholt software\\varnholt 2000\\Varnholt.mdb"),
          std::string("and/or 1/2 are no paths")})
        EXPECT_EQ(ui::shortenedPaths(same), same);
}

TEST(MsgBoxTest, ABoxWithAVeryLongPathFitsTheScreen) {
    const std::string text = "Unable to Locate the Varnholt 2000 Database at the following "
                             "location: /tmp/" +
                             std::string(5000, 'x') + "/Varnholt.mdb";
    QRect shown;
    QRect screen;
    QTimer::singleShot(200, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                shown = box->frameGeometry();
                screen = box->screen()->availableGeometry();
                box->accept();
            }
    });
    ui::MsgBox(text, ui::ExclamationIcon, "Update Available");
    ASSERT_FALSE(shown.isNull());
    EXPECT_TRUE(screen.contains(shown)) << shown.width() << "x" << shown.height();
}

} // namespace
