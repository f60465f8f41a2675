#include "platform/ui/PathBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace ui {

namespace {

// The local file of the first address the drop carries; empty when none.
QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        if (auto* button = qobject_cast<QPushButton*>(watched); button && button->isEnabled()) {
            button->animateClick();
            return true;
        }
        return false;
    }
};

} // namespace

PathBox::PathBox(QWidget* parent) : QLineEdit(parent) {
    setAcceptDrops(true);
    connect(this, &QLineEdit::editingFinished, this, [this] { toLocalPath(); });
}

QString PathBox::localPath(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return text;
    const QUrl url(trimmed);
    return url.isValid() && url.isLocalFile() ? url.toLocalFile() : text;
}

void PathBox::toLocalPath() {
    const QString path = localPath(text());
    if (path != text())
        setText(path);
}

void PathBox::keyPressEvent(QKeyEvent* event) {
    QLineEdit::keyPressEvent(event);
    if (event->matches(QKeySequence::Paste))
        toLocalPath();
}

void PathBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void PathBox::dropEvent(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty()) {
        QLineEdit::dropEvent(event);
        return;
    }
    setText(file);
    setFocus();
    event->acceptProposedAction();
}

void pressOnEnter(QPushButton& button) {
    button.installEventFilter(new EnterPresses(&button));
}

} // namespace ui
