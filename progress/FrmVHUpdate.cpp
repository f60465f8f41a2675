#include "progress/FrmVHUpdate.h"

#include "merge/Tables.h"
#include "platform/db/Data.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FormWindow.h"
#include "resources/Resources.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace progress {
namespace {

const std::string cancelQuestion = "Cancel Operation?";
const std::string cancelTitle = "Are you sure you want to abort the update?";

QFont statusFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif); // where that face is missing
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

} // namespace

struct FrmVHUpdate::Loaded {
    std::unique_ptr<ui::FormWindow> window;
    QLabel* lblLabel1 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdCommand1 = nullptr;
    ImageList ImageList1;
    db::Data Data1{"Data1"};
    db::Data Data2{"Data2"};
};

FrmVHUpdate::FrmVHUpdate() = default;

FrmVHUpdate::~FrmVHUpdate() {
    // Widgets can only be destroyed while the application object exists; a
    // window still loaded when the program ends goes with the process.
    if (!QCoreApplication::instance()) {
        if (loaded_)
            (void)loaded_->window.release();
        for (auto& gone : discarded_)
            (void)gone->window.release();
    }
}

std::int32_t FrmVHUpdate::runMerge(merge::TableUpdate merge, const std::string& DBLocation,
                                   const std::string& UPDLocation) {
    ui::Depth running(merging_);
    return merge(*this, DBLocation, UPDLocation);
}

std::int32_t FrmVHUpdate::LodgeUpdate(const std::string& DBLocation,
                                      const std::string& UPDLocation) {
    return runMerge(&merge::LodgeUpdate, DBLocation, UPDLocation);
}

std::int32_t FrmVHUpdate::IssueUpdate(const std::string& DBLocation,
                                      const std::string& UPDLocation) {
    return runMerge(&merge::IssueUpdate, DBLocation, UPDLocation);
}

std::int32_t FrmVHUpdate::ActivityUpdate(const std::string& DBLocation,
                                         const std::string& UPDLocation) {
    return runMerge(&merge::ActivityUpdate, DBLocation, UPDLocation);
}

std::int32_t FrmVHUpdate::ValuesUpdate(const std::string& DBLocation,
                                       const std::string& UPDLocation) {
    return runMerge(&merge::ValuesUpdate, DBLocation, UPDLocation);
}

void FrmVHUpdate::Load() {
    if (loaded_)
        return;
    if (inEvent_ == 0)
        destroyDiscarded();
    resources::init();

    auto state = std::make_unique<Loaded>();
    state->window = std::make_unique<ui::FormWindow>([this] { return closeRequested(); });
    QWidget& window = *state->window;
    window.setWindowTitle(QStringLiteral("Varnholt 2000 Update"));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui::setClientSizeTwips(window, 4380, 2310);

    state->ProgressBar1 = new ProgressBar(&window);
    ui::placeTwips(*state->ProgressBar1, {150, 1125, 4110, 390});
    state->ProgressBar1->setMin(0);
    state->ProgressBar1->setMax(100);

    state->lblLabel1 = new QLabel(&window);
    ui::placeTwips(*state->lblLabel1, {330, 420, 3780, 330});
    state->lblLabel1->setAlignment(Qt::AlignCenter);
    state->lblLabel1->setFont(statusFont());

    state->cmdCommand1 = new QPushButton(QStringLiteral("Cancel"), &window);
    ui::placeTwips(*state->cmdCommand1, {1515, 1695, 1125, 465});
    QObject::connect(state->cmdCommand1, &QPushButton::clicked, [this] {
        ui::Depth event(inEvent_);
        cmdCommand1_Click();
    });

    state->ImageList1.ListImages.emplace_back(QStringLiteral(":/icons/progress32.xpm"));

    loaded_ = std::move(state);
    Form_Load();
}

void FrmVHUpdate::Unload() {
    unload(UnloadMode::FormCode);
}

FrmVHUpdate::Loaded& FrmVHUpdate::loaded() {
    if (!loaded_)
        Load();
    return *loaded_;
}

QWidget& FrmVHUpdate::window() {
    return *loaded().window;
}

QLabel& FrmVHUpdate::lblLabel1() {
    return *loaded().lblLabel1;
}

ProgressBar& FrmVHUpdate::ProgressBar1() {
    return *loaded().ProgressBar1;
}

QPushButton& FrmVHUpdate::cmdCommand1() {
    return *loaded().cmdCommand1;
}

ImageList& FrmVHUpdate::ImageList1() {
    return loaded().ImageList1;
}

db::Data& FrmVHUpdate::Data1() {
    return loaded().Data1;
}

db::Data& FrmVHUpdate::Data2() {
    return loaded().Data2;
}

ui::Twips FrmVHUpdate::frame() {
    return ui::frameTwips(window());
}

void FrmVHUpdate::Move(float left, float top) {
    ui::moveTwips(window(), left, top);
}

void FrmVHUpdate::Show() {
    ui::showModeless(window());
}

void FrmVHUpdate::Hide() {
    ui::hide(window());
}

void FrmVHUpdate::Form_Load() {
    window().setWindowIcon(QIcon(ImageList1().Picture(1)));
    DBPassword = "Kor240853";
    AbortRequested = false;
}

void FrmVHUpdate::Form_QueryUnload(bool& cancel, UnloadMode mode) {
    // A close from the frame in the middle of a merge would take the merge's
    // connections away under it: it is the same question as "Cancel".
    if (mode != UnloadMode::FormControlMenu || !merging())
        return;
    if (confirmCancel())
        AbortRequested = true;
    else
        cancel = true;
}

bool FrmVHUpdate::confirmCancel() {
    return ui::MsgBox(cancelQuestion, ui::YesNo | ui::QuestionIcon, cancelTitle) == ui::Yes;
}

void FrmVHUpdate::cmdCommand1_Click() {
    if (confirmCancel()) {
        AbortRequested = true;
        Unload();
    }
}

bool FrmVHUpdate::closeRequested() {
    ui::Depth event(inEvent_);
    return unload(UnloadMode::FormControlMenu);
}

bool FrmVHUpdate::unload(UnloadMode mode) {
    if (!loaded_ || unloading_ > 0)
        return true;
    bool cancel = false;
    {
        ui::Depth asking(unloading_);
        Form_QueryUnload(cancel, mode);
    }
    if (cancel)
        return false;
    if (loaded_)
        discardWindow();
    return true;
}

void FrmVHUpdate::discardWindow() {
    std::unique_ptr<Loaded> gone = std::move(loaded_);
    gone->Data1.close();
    gone->Data2.close();
    gone->window->hide();
    // A window cannot be destroyed inside one of its own events: Qt is still
    // delivering it. It is kept, hidden and without connections, until then.
    if (inEvent_ > 0)
        discarded_.push_back(std::move(gone));
}

void FrmVHUpdate::destroyDiscarded() {
    discarded_.clear();
}

void FrmVHUpdate::setProgressMin(float value) {
    ProgressBar1().setMin(value);
}

void FrmVHUpdate::setProgressMax(float value) {
    ProgressBar1().setMax(value);
}

void FrmVHUpdate::setProgressValue(float value) {
    ProgressBar1().setValue(value);
}

void FrmVHUpdate::setStatusText(const std::string& text) {
    lblLabel1().setText(QString::fromStdString(text));
}

void FrmVHUpdate::repaint() {
    ui::repaintNow(window());
}

void FrmVHUpdate::yield() {
    ui::yieldEvents();
    if (inEvent_ == 0)
        destroyDiscarded();
}

std::int32_t& FrmVHUpdate::count(merge::Counter counter) {
    switch (counter) {
    case merge::Counter::Lodges:
        return LodgeCount;
    case merge::Counter::Issues:
        return IssueCount;
    case merge::Counter::Activities:
        return ActivityCount;
    case merge::Counter::Values:
        break;
    }
    return ValueCount;
}

FrmVHUpdate& frmVHUpdate() {
    static FrmVHUpdate form;
    return form;
}

} // namespace progress
