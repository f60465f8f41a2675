#include "progress/FrmVHUpdate.h"

#include "merge/Tables.h"
#include "platform/db/Data.h"
#include "platform/db/Waiting.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/PathBox.h"
#include "resources/Resources.h"

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

struct FrmVHUpdate::Controls {
    QLabel* lblLabel1 = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdCommand1 = nullptr;
    ui::ImageList ImageList1;
};

FrmVHUpdate::FrmVHUpdate() : merge::Merger(static_cast<merge::Host&>(*this)) {}
FrmVHUpdate::~FrmVHUpdate() = default;

void FrmVHUpdate::makeControls(QWidget& window) {
    resources::init();
    auto made = std::make_unique<Controls>();
    window.setWindowTitle(QStringLiteral("Varnholt 2000 Update"));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui::setClientSizeTwips(window, 4380, 2310);

    made->ProgressBar1 = new ProgressBar(&window);
    ui::placeTwips(*made->ProgressBar1, {150, 1125, 4110, 390});
    made->ProgressBar1->setMin(0);
    made->ProgressBar1->setMax(100);

    made->lblLabel1 = new QLabel(&window);
    ui::placeTwips(*made->lblLabel1, {330, 420, 3780, 330});
    made->lblLabel1->setAlignment(Qt::AlignCenter);
    made->lblLabel1->setFont(statusFont());

    made->cmdCommand1 = new QPushButton(QStringLiteral("Cancel"), &window);
    ui::placeTwips(*made->cmdCommand1, {1515, 1695, 1125, 465});
    QObject::connect(made->cmdCommand1, &QPushButton::clicked, [this] { cmdCommand1_Click(); });
    ui::pressOnEnter(*made->cmdCommand1);
    // Escape asks the same question as "Cancel".
    if (auto* frame = dynamic_cast<ui::FormWindow*>(&window))
        frame->onEscape([this] { cmdCommand1_Click(); });

    made->lblLabel1->setObjectName(QStringLiteral("lblLabel1"));
    made->lblLabel1->setAccessibleName(QStringLiteral("Status"));
    made->ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    made->ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    made->cmdCommand1->setObjectName(QStringLiteral("cmdCommand1"));
    made->cmdCommand1->setAccessibleName(QStringLiteral("Cancel"));

    made->ImageList1.ListImages.emplace_back(QStringLiteral(":/icons/progress32.xpm"));
    controls_ = std::move(made);
}

void FrmVHUpdate::dropControls() {
    controls_.reset();
    if (db::insideWait())
        closeAfterWait_ = true;
    else
        closeConnections();
}

void FrmVHUpdate::mergeEnded() {
    --merging_;
    if (closeAfterWait_) {
        closeAfterWait_ = false;
        closeConnections();
    }
}

bool FrmVHUpdate::whileWaiting(db::WaitReason why) {
    // Once "Cancel" has unloaded the window, nothing of it is touched again.
    if (!isLoaded() || AbortRequested)
        return !AbortRequested;
    const QString text = QString::fromStdString(merge::waitStatus(why));
    if (lblLabel1().text() != text)
        lblLabel1().setText(text);
    yield();
    return !AbortRequested;
}

FrmVHUpdate::Controls& FrmVHUpdate::controls() {
    Load();
    return *controls_;
}

QLabel& FrmVHUpdate::lblLabel1() {
    return *controls().lblLabel1;
}

ProgressBar& FrmVHUpdate::ProgressBar1() {
    return *controls().ProgressBar1;
}

QPushButton& FrmVHUpdate::cmdCommand1() {
    return *controls().cmdCommand1;
}

ui::ImageList& FrmVHUpdate::ImageList1() {
    return controls().ImageList1;
}

db::Data& FrmVHUpdate::Data1() {
    Load();
    return merge::Merger::Data1();
}

db::Data& FrmVHUpdate::Data2() {
    Load();
    return merge::Merger::Data2();
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
    window().setWindowIcon(resources::windowIcon(ImageList1().Picture(1)));
    DBPassword = merge::DatabasePassword;
    AbortRequested = false;
}

void FrmVHUpdate::Form_QueryUnload(bool& cancel, ui::UnloadMode mode) {
    // A close from the frame in the middle of a merge would take the merge's
    // connections away under it: it is the same question as "Cancel".
    if (mode != ui::UnloadMode::FormControlMenu || !merging())
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
}

FrmVHUpdate& frmVHUpdate() {
    static FrmVHUpdate form;
    return form;
}

} // namespace progress
