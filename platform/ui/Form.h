#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCloseEvent;

namespace ui {

// Why a window is about to unload.
enum class UnloadMode {
    FormControlMenu = 0, // closed from its frame or by the keyboard
    FormCode = 1,        // unloaded by the program
};

// The images of a window's image list, counted from 1.
struct ImageList {
    std::vector<QPixmap> ListImages;
    const QPixmap& Picture(int index) const { return ListImages.at(index - 1); }
};

// Counts how deep the program is inside something (a merge, a question);
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

// A form's on-screen window. A close from its frame (or the keyboard) asks
// the form first; `closeRequested` returning false keeps the window open.
class FormWindow : public QWidget {
public:
    explicit FormWindow(std::function<bool()> closeRequested);

    // What Escape does anywhere in the window, as on the desktops the
    // program's users come from; nothing when unset.
    void onEscape(std::function<void()> escape) { escape_ = std::move(escape); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<bool()> closeRequested_;
    std::function<void()> escape_;
};

// A window of the program: one object for the whole run, whose window comes
// and goes. Loading makes the window and its controls (hidden) and runs
// Form_Load; unloading asks Form_QueryUnload, then drops the controls and the
// window and keeps the object and its members. Touching a control of an
// unloaded form loads it again first (the derived form's accessors call
// Load()). The program ends when its last loaded form unloads.
class Form {
public:
    Form() = default;
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    void Load();
    // Unloads the form as the program does it; a close from the window's
    // frame goes through Form_QueryUnload with FormControlMenu instead.
    void Unload();
    bool isLoaded() const { return window_ != nullptr; }
    // The window; loads the form when it is not.
    QWidget& window();

protected:
    // Makes the form's controls on its new, hidden window.
    virtual void makeControls(QWidget& window) = 0;
    virtual void Form_Load() = 0;
    virtual void Form_QueryUnload(bool& cancel, UnloadMode mode) = 0;
    // The window is about to go: forget its controls and close what the form
    // held while loaded.
    virtual void dropControls() = 0;

private:
    bool unload(UnloadMode mode);

    std::unique_ptr<QWidget> window_;
    int unloading_ = 0;
};

} // namespace ui
