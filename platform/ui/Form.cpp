#include "platform/ui/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace ui {

namespace {
int loadedForms = 0;
} // namespace

FormWindow::FormWindow(std::function<bool()> closeRequested)
    : closeRequested_(std::move(closeRequested)) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (closeRequested_())
        event->accept();
    else
        event->ignore();
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && escape_) {
        event->accept();
        escape_();
        return;
    }
    QWidget::keyPressEvent(event);
}

Form::~Form() {
    if (!window_)
        return;
    --loadedForms;
    // Widgets can only be destroyed while the application object exists; a
    // window still loaded when the program ends goes with the process.
    if (!QCoreApplication::instance())
        (void)window_.release();
}

void Form::Load() {
    if (window_)
        return;
    auto window =
        std::make_unique<FormWindow>([this] { return unload(UnloadMode::FormControlMenu); });
    makeControls(*window);
    window_ = std::move(window);
    ++loadedForms;
    Form_Load();
}

void Form::Unload() {
    unload(UnloadMode::FormCode);
}

QWidget& Form::window() {
    Load();
    return *window_;
}

bool Form::unload(UnloadMode mode) {
    if (!window_ || unloading_ > 0)
        return true;
    bool cancel = false;
    {
        const Depth asking(unloading_);
        Form_QueryUnload(cancel, mode);
    }
    if (cancel)
        return false;
    if (!window_) // unloaded while the question was up
        return true;
    dropControls();
    std::unique_ptr<QWidget> gone = std::move(window_);
    gone->hide();
    // The window may be in the middle of one of its own events (a click on
    // one of its buttons, a close from its frame): Qt destroys it once the
    // event is over.
    gone.release()->deleteLater();
    if (--loadedForms == 0)
        QCoreApplication::quit();
    return true;
}

} // namespace ui
