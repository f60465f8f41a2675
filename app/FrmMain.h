#pragma once

#include "platform/ui/Dialogs.h"
#include "progress/FrmVHUpdate.h"

#include <cstdint>
#include <memory>
#include <string>

class QLineEdit;
class QPushButton;
class QWidget;

namespace app {

// The main window: the paths of the main database and of the update, a
// browse button for each, "Update" and "Exit". "Update" checks that both
// files exist and runs the update on the progress window it was made with.
// Like every window it is one object whose window comes and goes: loading
// makes the window and its controls (hidden) and runs Form_Load; touching a
// control of an unloaded window loads it first.
class FrmMain {
public:
    explicit FrmMain(progress::FrmVHUpdate& progress);
    ~FrmMain();
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    void Load();
    void Unload();
    bool isLoaded() const { return loaded_ != nullptr; }
    void Show();

    // True while RunUpdate is under way.
    bool updating() const { return updating_; }

    // The window and its controls; each loads the window when it is not.
    QWidget& window();
    QLineEdit& VarnholtDatabase();
    QLineEdit& VarnholtUpdate();
    QPushButton& Command1();
    QPushButton& Command2();
    QPushButton& Command3(std::int16_t Index);
    progress::ImageList& ImageList1();
    ui::CommonDialog& CommonDialog1();

    // Event procedures.
    void Form_Load();
    void Form_QueryUnload(bool& cancel, progress::UnloadMode mode);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click(std::int16_t Index);

private:
    struct Loaded;
    class Running;

    // One whole update on the two paths in the boxes, with the progress
    // window, ending in one message: the summary, the cancel or the error.
    void RunUpdate();

    Loaded& loaded();
    bool closeRequested();
    bool unload(progress::UnloadMode mode);
    void setControlsEnabled(bool enabled);

    progress::FrmVHUpdate& progress_;
    std::unique_ptr<Loaded> loaded_;
    // A window closed from inside one of its own events waits for the event
    // to end before it is destroyed.
    std::unique_ptr<Loaded> discarded_;
    bool updating_ = false;
    // The user closed the window during an update and confirmed: the window
    // goes once the update has stopped.
    bool closeAfterUpdate_ = false;
    int inEvent_ = 0;
};

// The one main window, made on first use, working with frmVHUpdate().
FrmMain& frmMain();

} // namespace app
