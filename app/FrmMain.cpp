#include "app/FrmMain.h"

#include "app/ModMain.h"
#include "app/SafetyNet.h"
#include "merge/UndoLog.h"
#include "merge/Update.h"
#include "platform/ui/PathBox.h"
#include "platform/ui/Windows.h"
#include "resources/Resources.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>

namespace app {
namespace {

const std::string defaultDatabase =
    "c:\\program files\\varnholt software\\varnholt 2000\\Varnholt.mdb";
const std::string updateFileName = "VHUpdate.mdb";
const std::string notFoundTitle = "Update Available";

// What the browse button of each box hands its dialog.
struct Browse {
    std::string fileName;
    std::string filter;
    std::string title;
};

const std::array<Browse, 2> browses{{
    {"varnholt.mdb", "Varnholt Database | varnholt.mdb", "varnholt.mdb"},
    {"VHUpdate.mdb", "Varnholt Update Database | vhupdate.mdb", "vhupdate.mdb"},
}};

// Offered after each box's own filter, so that an update file named
// otherwise ("VHUpdate-2024-05.mdb") can be picked too.
const std::string moreFilters = "|Varnholt databases (*.mdb)|*.mdb|All files (*)|*";

} // namespace

struct FrmMain::Controls {
    QLineEdit* VarnholtDatabase = nullptr;
    QLineEdit* VarnholtUpdate = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    std::array<QPushButton*, 2> Command3{};
    QPushButton* cmdPreview = nullptr;
    QPushButton* cmdUndoUpdate = nullptr;
    ui::ImageList ImageList1;
    ui::CommonDialog CommonDialog1;
};

FrmMain::FrmMain(progress::FrmVHUpdate& progress) : progress_(progress) {}
FrmMain::~FrmMain() = default;

void FrmMain::makeControls(QWidget& window) {
    resources::init();
    auto made = std::make_unique<Controls>();
    window.setWindowTitle(QString::fromStdString(ui::programTitle));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    ui::setClientSizeTwips(window, 6075, 2775);

    made->VarnholtDatabase = new ui::PathBox(&window);
    ui::placeTwips(*made->VarnholtDatabase, {270, 465, 4590, 345});
    made->VarnholtUpdate = new ui::PathBox(&window);
    ui::placeTwips(*made->VarnholtUpdate, {270, 1245, 4590, 345});

    const auto button = [&](const char* caption, const ui::Twips& where, auto click) {
        auto* button = new QPushButton(QString::fromLatin1(caption), &window);
        ui::placeTwips(*button, where);
        QObject::connect(button, &QPushButton::clicked, click);
        ui::pressOnEnter(*button);
        return button;
    };
    made->Command1 = button("Update", {4695, 2100, 1200, 585}, [this] { Command1_Click(); });
    made->Command2 = button("Exit", {3225, 2100, 1200, 585}, [this] { Command2_Click(); });
    made->Command3[0] = button("...", {4980, 480, 480, 345}, [this] { Command3_Click(0); });
    made->Command3[1] = button("...", {4980, 1260, 480, 345}, [this] { Command3_Click(1); });
    // In the free space of the bottom row, left of "Exit".
    made->cmdPreview = button("Preview...", {180, 2100, 1395, 585}, [this] { cmdPreview_Click(); });
    made->cmdUndoUpdate =
        button("Undo Update...", {1680, 2100, 1455, 585}, [this] { cmdUndoUpdate_Click(); });
    made->cmdPreview->setToolTip(QStringLiteral(
        "See what the update would change, record by record, without writing to either file"));
    made->cmdUndoUpdate->setToolTip(
        QStringLiteral("See the last update made to this database, and take it back"));

    // Names for screen readers (and for checks that find controls by them),
    // and the window's own names of its controls.
    const auto name = [](QWidget* control, const char* objectName, const char* accessible) {
        control->setObjectName(QString::fromLatin1(objectName));
        control->setAccessibleName(QString::fromLatin1(accessible));
    };
    name(made->VarnholtDatabase, "VarnholtDatabase", "Varnholt 2000 Database");
    name(made->VarnholtUpdate, "VarnholtUpdate", "Varnholt 2000 Update File");
    name(made->Command1, "Command1", "Update");
    name(made->Command2, "Command2", "Exit");
    name(made->Command3[0], "Command3_0", "Browse for the Varnholt 2000 Database");
    name(made->Command3[1], "Command3_1", "Browse for the Varnholt 2000 Update File");
    name(made->cmdPreview, "cmdPreview", "Preview...");
    name(made->cmdUndoUpdate, "cmdUndoUpdate", "Undo Update...");

    // Tab order: the two boxes, "Update", "Exit", the browse buttons, then
    // "Preview..." and "Undo Update...".
    QWidget::setTabOrder(made->VarnholtDatabase, made->VarnholtUpdate);
    QWidget::setTabOrder(made->VarnholtUpdate, made->Command1);
    QWidget::setTabOrder(made->Command1, made->Command2);
    QWidget::setTabOrder(made->Command2, made->Command3[0]);
    QWidget::setTabOrder(made->Command3[0], made->Command3[1]);
    QWidget::setTabOrder(made->Command3[1], made->cmdPreview);
    QWidget::setTabOrder(made->cmdPreview, made->cmdUndoUpdate);
    QObject::connect(made->VarnholtDatabase, &QLineEdit::textChanged, [this] {
        if (!updating_)
            refreshUndoButton();
    });
    made->VarnholtDatabase->setFocus();

    made->ImageList1.ListImages.emplace_back(QStringLiteral(":/icons/main16.xpm"));
    controls_ = std::move(made);
}

void FrmMain::dropControls() {
    controls_.reset();
}

void FrmMain::Show() {
    ui::showModeless(window());
}

FrmMain::Controls& FrmMain::controls() {
    Load();
    return *controls_;
}

QLineEdit& FrmMain::VarnholtDatabase() {
    return *controls().VarnholtDatabase;
}

QLineEdit& FrmMain::VarnholtUpdate() {
    return *controls().VarnholtUpdate;
}

QPushButton& FrmMain::Command1() {
    return *controls().Command1;
}

QPushButton& FrmMain::Command2() {
    return *controls().Command2;
}

QPushButton& FrmMain::Command3(std::int16_t Index) {
    return *controls().Command3.at(static_cast<std::size_t>(Index));
}

QPushButton& FrmMain::cmdPreview() {
    return *controls().cmdPreview;
}

QPushButton& FrmMain::cmdUndoUpdate() {
    return *controls().cmdUndoUpdate;
}

ui::ImageList& FrmMain::ImageList1() {
    return controls().ImageList1;
}

ui::CommonDialog& FrmMain::CommonDialog1() {
    return controls().CommonDialog1;
}

void FrmMain::Form_Load() {
    VarnholtDatabase().setText(QString::fromStdString(defaultDatabase));
    // The program's own folder as the platform reports it, then the file.
    VarnholtUpdate().setText(QString::fromStdString(ui::programFolder()) + QDir::separator() +
                             QString::fromStdString(updateFileName));
    window().setWindowIcon(resources::windowIcon(ImageList1().Picture(1)));
    refreshUndoButton();
}

void FrmMain::Form_QueryUnload(bool& cancel, ui::UnloadMode mode) {
    // The update runs inside this window's "Update" click: the window can
    // only go once the update has stopped.
    if (!updating_)
        return;
    cancel = true;
    if (mode == ui::UnloadMode::FormControlMenu && progress::FrmVHUpdate::confirmCancel()) {
        progress_.AbortRequested = true;
        closeAfterUpdate_ = true;
    }
}

void FrmMain::Command1_Click() {
    if (filesFound(VarnholtDatabase().text().toStdString(), VarnholtUpdate().text().toStdString()))
        RunUpdate();
}

bool FrmMain::filesFound(const std::string& database, const std::string& update) {
    if (!FileExists(database)) {
        ui::MsgBox("Unable to Locate the Varnholt 2000 Database at the following location: " +
                       database,
                   ui::ExclamationIcon, notFoundTitle);
        return false;
    }
    if (!FileExists(update)) {
        ui::MsgBox("Unable to Locate the Varnholt 2000 Update File at the following location: " +
                       update,
                   ui::ExclamationIcon, notFoundTitle);
        return false;
    }
    // An update of a file into itself would write nothing worth having and
    // still end "Complete!".
    if (SameFile(database, update)) {
        ui::MsgBox("The Varnholt 2000 Update File is the Varnholt 2000 Database itself: both "
                   "boxes name the file \"" +
                       database +
                       "\". Choose the update file you were given in the second box, and try "
                       "again.",
                   ui::ExclamationIcon, notFoundTitle);
        return false;
    }
    return true;
}

void FrmMain::Command2_Click() {
    Unload();
}

void FrmMain::Command3_Click(std::int16_t Index) {
    if (Index < 0 || Index >= static_cast<std::int16_t>(browses.size()))
        return;
    const Browse& browse = browses[static_cast<std::size_t>(Index)];
    QLineEdit& box = Index == 0 ? VarnholtDatabase() : VarnholtUpdate();

    ui::CommonDialog& dialog = CommonDialog1();
    dialog.InitDir = box.text().toStdString();
    dialog.FileName = browse.fileName;
    dialog.Filter = browse.filter + moreFilters;
    dialog.DialogTitle = browse.title;
    dialog.FilterIndex = 1;
    // A cancelled dialog leaves the box as the user had it.
    if (dialog.ShowOpen())
        box.setText(QString::fromStdString(dialog.FileName));
}

merge::Outcome FrmMain::runBehindProgress(const std::function<merge::Locations()>& locations,
                                          merge::ChangeLog* changes) {
    progress_.Load();
    const ui::Twips main = ui::frameTwips(window());
    progress_.Move(main.Left + main.Width - 2500, main.Top + main.Height - 200);
    progress_.Show();
    // Drawn before the first file is opened, and wholly on the screen.
    ui::drawShownWindow(progress_.window());
    ui::keepInsideScreen(progress_.window());

    // What an earlier run (a preview's copy among them) left undone when it
    // closed is not this run's to report.
    (void)progress_.takeClosingProblem();
    const merge::Outcome outcome = merge::runUpdate(progress_, locations, changes);
    // Unloading closes both connections, however the merges ended. A
    // confirmed "Cancel" has unloaded the progress window already.
    if (progress_.isLoaded()) {
        progress_.Hide();
        progress_.Unload();
    }
    return outcome;
}

void FrmMain::RunUpdate(const std::optional<merge::Locations>& fixed) {
    Running running(*this);
    // Read right before each merge; the merge works on its own copies.
    const auto locations = [&] {
        return fixed ? *fixed
                     : merge::Locations{VarnholtDatabase().text().toStdString(),
                                        VarnholtUpdate().text().toStdString()};
    };
    const merge::Locations first = locations();
    std::optional<merge::UndoLog> undo;
    if (!makeUndoFile(undo, first))
        return;

    const merge::Outcome outcome = runBehindProgress(locations, &*undo);
    std::string unfinished = finishUndoFile(*undo, first.DBLocation);
    if (const std::optional<db::DbError> closing = progress_.takeClosingProblem())
        unfinished += "\r\n\r\n" + merge::closingText(*closing, merge::Wording::Plain);
    ui::MsgBox(merge::outcomeText(outcome, merge::Wording::Plain) + unfinished,
               outcome.ending == merge::Outcome::Ending::Failed || !unfinished.empty()
                   ? ui::ExclamationIcon
                   : ui::OkOnly);

    if (closeAfterUpdate_) {
        closeAfterUpdate_ = false;
        updating_ = false;
        Unload();
    }
}

void FrmMain::setControlsEnabled(bool enabled) {
    Controls& state = controls();
    for (QWidget* control : std::initializer_list<QWidget*>{
             state.VarnholtDatabase, state.VarnholtUpdate, state.Command1, state.Command2,
             state.Command3[0], state.Command3[1], state.cmdPreview})
        control->setEnabled(enabled);
    if (enabled)
        refreshUndoButton();
    else
        state.cmdUndoUpdate->setEnabled(false);
}

FrmMain& frmMain() {
    static FrmMain form(progress::frmVHUpdate());
    return form;
}

} // namespace app
