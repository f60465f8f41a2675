#pragma once

#include "merge/Changes.h"
#include "merge/Update.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Form.h"
#include "progress/FrmVHUpdate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;
class QWidget;

namespace app {

// The main window: the paths of the main database and of the update, a
// browse button for each, "Update" and "Exit". "Update" checks that both
// files exist and runs the update on the progress window it was made with,
// keeping an undo file of it first (UndoFiles.h). Left of "Exit",
// "Preview..." runs the same update on a private copy and shows what it
// would change, and "Undo Update..." shows the last update made to the
// database in the first box and can take it back (changes::ChangesWindow).
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
    QPushButton& cmdPreview();
    QPushButton& cmdUndoUpdate();
    ui::ImageList& ImageList1();
    ui::CommonDialog& CommonDialog1();

    // Event procedures.
    void Form_Load() override;
    void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click(std::int16_t Index);
    void cmdPreview_Click();
    void cmdUndoUpdate_Click();

protected:
    void makeControls(QWidget& window) override;
    void dropControls() override;

private:
    struct Controls;

    // Marks an update (or a preview, or an undo) as under way and keeps the
    // window's controls disabled for as long as it lasts, however it ends.
    class Running {
    public:
        explicit Running(FrmMain& form) : form_(form) {
            form_.updating_ = true;
            form_.setControlsEnabled(false);
        }
        ~Running() {
            form_.updating_ = false;
            if (form_.isLoaded())
                form_.setControlsEnabled(true);
        }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        FrmMain& form_;
    };

    // One whole update on the two paths in the boxes (read before each
    // merge), or on `fixed`, with the progress window and an undo file made
    // before it starts, ending in one message: the summary, the cancel or
    // the error. Without an undo file it does not start.
    void RunUpdate(const std::optional<merge::Locations>& fixed = std::nullopt);
    // The merges behind the progress window, which is gone afterwards.
    merge::Outcome runBehindProgress(const std::function<merge::Locations()>& locations,
                                     merge::ChangeLog* changes);
    // Both files found and not one file, as "Update" requires; else says
    // which is missing.
    bool filesFound(const std::string& database, const std::string& update);
    void previewUpdate(const std::string& database, const std::string& update);
    void showLastUpdate(const std::string& database);
    // Takes back the update of the undo file at `undo`; true when done.
    bool undoLastUpdate(const std::string& database, const std::string& undo,
                        const merge::ChangeList& changes);
    // "Undo Update..." is enabled only when the database in the first box
    // has an undo file.
    void refreshUndoButton();

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
