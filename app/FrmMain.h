#pragma once

#include "platform/ui/Dialogs.h"
#include "platform/ui/Form.h"
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
class FrmMain : public ui::Form {
public:
    explicit FrmMain(progress::FrmVHUpdate& progress);
    ~FrmMain() override;

    void Show();

    // True while RunUpdate is under way.
    bool updating() const { return updating_; }

    // The controls; each loads the window when it is not.
    QLineEdit& VarnholtDatabase();
    QLineEdit& VarnholtUpdate();
    QPushButton& Command1();
    QPushButton& Command2();
    QPushButton& Command3(std::int16_t Index);
    ui::ImageList& ImageList1();
    ui::CommonDialog& CommonDialog1();

    // Event procedures.
    void Form_Load() override;
    void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click(std::int16_t Index);

protected:
    void makeControls(QWidget& window) override;
    void dropControls() override;

private:
    struct Controls;
    class Running;

    // One whole update on the two paths in the boxes, with the progress
    // window, ending in one message: the summary, the cancel or the error.
    void RunUpdate();

    Controls& controls();
    void setControlsEnabled(bool enabled);

    progress::FrmVHUpdate& progress_;
    std::unique_ptr<Controls> controls_;
    bool updating_ = false;
    // The user closed the window during an update and confirmed: the window
    // goes once the update has stopped.
    bool closeAfterUpdate_ = false;
};

// The one main window, made on first use, working with frmVHUpdate().
FrmMain& frmMain();

} // namespace app
