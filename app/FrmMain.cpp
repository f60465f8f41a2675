#include "app/FrmMain.h"

#include "app/ModMain.h"
#include "merge/Update.h"
#include "platform/ui/FormWindow.h"
#include "platform/ui/Windows.h"
#include "resources/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <optional>

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

} // namespace

struct FrmMain::Loaded {
    std::unique_ptr<ui::FormWindow> window;
    QLineEdit* VarnholtDatabase = nullptr;
    QLineEdit* VarnholtUpdate = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    std::array<QPushButton*, 2> Command3{};
    progress::ImageList ImageList1;
    ui::CommonDialog CommonDialog1;
};

// Marks an update as under way and keeps the window's controls disabled for
// as long as it lasts, however it ends.
class FrmMain::Running {
public:
    explicit Running(FrmMain& form) : form_(form) {
        form_.updating_ = true;
        form_.setControlsEnabled(false);
    }
    ~Running() {
        form_.updating_ = false;
        if (form_.loaded_)
            form_.setControlsEnabled(true);
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    FrmMain& form_;
};

FrmMain::FrmMain(progress::FrmVHUpdate& progress) : progress_(progress) {}

FrmMain::~FrmMain() {
    // Widgets can only be destroyed while the application object exists; a
    // window still loaded when the program ends goes with the process.
    if (!QCoreApplication::instance()) {
        if (loaded_)
            (void)loaded_->window.release();
        if (discarded_)
            (void)discarded_->window.release();
    }
}

void FrmMain::Load() {
    if (loaded_)
        return;
    if (inEvent_ == 0)
        discarded_.reset();
    resources::init();

    auto state = std::make_unique<Loaded>();
    state->window = std::make_unique<ui::FormWindow>([this] { return closeRequested(); });
    QWidget& window = *state->window;
    window.setWindowTitle(QString::fromStdString(ui::programTitle));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    ui::setClientSizeTwips(window, 6075, 2775);

    state->VarnholtDatabase = new QLineEdit(&window);
    ui::placeTwips(*state->VarnholtDatabase, {270, 465, 4590, 345});
    state->VarnholtUpdate = new QLineEdit(&window);
    ui::placeTwips(*state->VarnholtUpdate, {270, 1245, 4590, 345});

    const auto button = [&](const char* caption, const ui::Twips& where, auto click) {
        auto* made = new QPushButton(QString::fromLatin1(caption), &window);
        ui::placeTwips(*made, where);
        QObject::connect(made, &QPushButton::clicked, [this, click] {
            ui::Depth event(inEvent_);
            click();
        });
        return made;
    };
    state->Command1 = button("Update", {4695, 2100, 1200, 585}, [this] { Command1_Click(); });
    state->Command2 = button("Exit", {3225, 2100, 1200, 585}, [this] { Command2_Click(); });
    state->Command3[0] = button("...", {4980, 480, 480, 345}, [this] { Command3_Click(0); });
    state->Command3[1] = button("...", {4980, 1260, 480, 345}, [this] { Command3_Click(1); });

    // Tab order: the two boxes, "Update", "Exit", then the browse buttons.
    QWidget::setTabOrder(state->VarnholtDatabase, state->VarnholtUpdate);
    QWidget::setTabOrder(state->VarnholtUpdate, state->Command1);
    QWidget::setTabOrder(state->Command1, state->Command2);
    QWidget::setTabOrder(state->Command2, state->Command3[0]);
    QWidget::setTabOrder(state->Command3[0], state->Command3[1]);
    state->VarnholtDatabase->setFocus();

    state->ImageList1.ListImages.emplace_back(QStringLiteral(":/icons/main16.xpm"));

    loaded_ = std::move(state);
    Form_Load();
}

void FrmMain::Unload() {
    unload(progress::UnloadMode::FormCode);
}

void FrmMain::Show() {
    ui::showModeless(window());
}

FrmMain::Loaded& FrmMain::loaded() {
    if (!loaded_)
        Load();
    return *loaded_;
}

QWidget& FrmMain::window() {
    return *loaded().window;
}

QLineEdit& FrmMain::VarnholtDatabase() {
    return *loaded().VarnholtDatabase;
}

QLineEdit& FrmMain::VarnholtUpdate() {
    return *loaded().VarnholtUpdate;
}

QPushButton& FrmMain::Command1() {
    return *loaded().Command1;
}

QPushButton& FrmMain::Command2() {
    return *loaded().Command2;
}

QPushButton& FrmMain::Command3(std::int16_t Index) {
    return *loaded().Command3.at(static_cast<std::size_t>(Index));
}

progress::ImageList& FrmMain::ImageList1() {
    return loaded().ImageList1;
}

ui::CommonDialog& FrmMain::CommonDialog1() {
    return loaded().CommonDialog1;
}

void FrmMain::Form_Load() {
    VarnholtDatabase().setText(QString::fromStdString(defaultDatabase));
    // The program's own folder as the platform reports it, then the file.
    VarnholtUpdate().setText(QString::fromStdString(ui::programFolder()) + QDir::separator() +
                             QString::fromStdString(updateFileName));
    window().setWindowIcon(QIcon(ImageList1().Picture(1)));
}

void FrmMain::Form_QueryUnload(bool& cancel, progress::UnloadMode mode) {
    // The update runs inside this window's "Update" click: the window can
    // only go once the update has stopped.
    if (!updating_)
        return;
    cancel = true;
    if (mode == progress::UnloadMode::FormControlMenu && progress::FrmVHUpdate::confirmCancel()) {
        progress_.AbortRequested = true;
        closeAfterUpdate_ = true;
    }
}

void FrmMain::Command1_Click() {
    const std::string database = VarnholtDatabase().text().toStdString();
    if (!FileExists(database)) {
        ui::MsgBox("Unable to Locate the Varnholt 2000 Database at the following location: " +
                       database,
                   ui::ExclamationIcon, notFoundTitle);
        return;
    }
    const std::string update = VarnholtUpdate().text().toStdString();
    if (!FileExists(update)) {
        ui::MsgBox("Unable to Locate the Varnholt 2000 Update File at the following location: " +
                       update,
                   ui::ExclamationIcon, notFoundTitle);
        return;
    }
    RunUpdate();
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
    dialog.Filter = browse.filter;
    dialog.DialogTitle = browse.title;
    dialog.FilterIndex = 1;
    // A cancelled dialog leaves the box as the user had it.
    if (dialog.ShowOpen())
        box.setText(QString::fromStdString(dialog.FileName));
}

void FrmMain::RunUpdate() {
    Running running(*this);
    progress_.Load();
    // Counters of an earlier run must not be reported for a table this run
    // never reaches.
    merge::clearCounts(progress_);
    const ui::Twips main = ui::frameTwips(window());
    progress_.Move(main.Left + main.Width - 2500, main.Top + main.Height - 200);
    progress_.Show();

    std::vector<std::int32_t> results;
    std::optional<std::string> failure;
    std::string_view failedTable;
    for (const merge::UpdateStep& step : merge::updateSteps()) {
        // Read right before each merge; the merge works on its own copies.
        const std::string DBLocation = VarnholtDatabase().text().toStdString();
        const std::string UPDLocation = VarnholtUpdate().text().toStdString();
        try {
            results.push_back(progress_.runMerge(step.update, DBLocation, UPDLocation));
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "An unexpected error occurred.";
        }
        if (failure) {
            failedTable = step.table;
            break;
        }
        // A confirmed "Cancel" has unloaded the progress window already.
        if (progress_.AbortRequested)
            break;
    }
    // Unloading closes both connections, however the merges ended.
    if (progress_.isLoaded()) {
        progress_.Hide();
        progress_.Unload();
    }

    if (failure)
        ui::MsgBox(merge::errorText(failedTable, *failure, merge::countsOf(progress_)),
                   ui::ExclamationIcon);
    else if (progress_.AbortRequested)
        ui::MsgBox(merge::cancelledText(merge::countsOf(progress_)));
    else
        ui::MsgBox(merge::summaryText({results[0], results[1], results[2], results[3]}));

    if (closeAfterUpdate_) {
        closeAfterUpdate_ = false;
        updating_ = false;
        Unload();
    }
}

bool FrmMain::closeRequested() {
    ui::Depth event(inEvent_);
    return unload(progress::UnloadMode::FormControlMenu);
}

bool FrmMain::unload(progress::UnloadMode mode) {
    if (!loaded_)
        return true;
    bool cancel = false;
    Form_QueryUnload(cancel, mode);
    if (cancel)
        return false;
    std::unique_ptr<Loaded> gone = std::move(loaded_);
    gone->window->hide();
    // A window cannot be destroyed inside one of its own events: Qt is still
    // delivering it. It is kept, hidden, until the next load or the end.
    if (inEvent_ > 0)
        discarded_ = std::move(gone);
    // The program ends when its last window is gone.
    if (!progress_.isLoaded())
        QCoreApplication::quit();
    return true;
}

void FrmMain::setControlsEnabled(bool enabled) {
    Loaded& state = loaded();
    for (QWidget* control : std::initializer_list<QWidget*>{
             state.VarnholtDatabase, state.VarnholtUpdate, state.Command1, state.Command2,
             state.Command3[0], state.Command3[1]})
        control->setEnabled(enabled);
}

FrmMain& frmMain() {
    static FrmMain form(progress::frmVHUpdate());
    return form;
}

} // namespace app
