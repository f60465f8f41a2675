#include "platform/ui/FormWindow.h"

#include <QCloseEvent>

namespace ui {

FormWindow::FormWindow(std::function<bool()> closeRequested)
    : closeRequested_(std::move(closeRequested)) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (closeRequested_())
        event->accept();
    else
        event->ignore();
}

} // namespace ui
