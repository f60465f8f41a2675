#pragma once

#include <QLineEdit>

class QPushButton;

namespace ui {

// A text box for a file's path. A file dropped on it from a file manager,
// or a file:// address pasted into it (or typed, once the typing is done),
// becomes the file's local path.
class PathBox : public QLineEdit {
public:
    explicit PathBox(QWidget* parent = nullptr);

    // The local path a file:// address names; anything else as it is.
    static QString localPath(const QString& text);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void toLocalPath();
};

// Enter or Return on the focused button presses it, as Space does.
void pressOnEnter(QPushButton& button);

} // namespace ui
