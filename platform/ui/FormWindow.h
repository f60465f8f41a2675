#pragma once

#include <QWidget>
#include <functional>

class QCloseEvent;

namespace ui {

// A form's on-screen window. A close from its frame (or the keyboard) asks
// the form first; `closeRequested` returning false keeps the window open.
class FormWindow : public QWidget {
public:
    explicit FormWindow(std::function<bool()> closeRequested);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<bool()> closeRequested_;
};

// Counts how deep the program is inside something (an event, a merge);
// undone however it leaves.
class Depth {
public:
    explicit Depth(int& depth) : depth_(depth) { ++depth_; }
    ~Depth() { --depth_; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    int& depth_;
};

} // namespace ui
