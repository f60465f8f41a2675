#pragma once

#include "merge/Host.h"
#include "merge/Merger.h"
#include "platform/ui/Form.h"
#include "platform/ui/Windows.h"
#include "progress/ProgressBar.h"

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace db {
class Data;
}

namespace progress {

// The progress window of an update, and the owner of what the merges share:
// it is the Merger whose four merges (LodgeUpdate ... ValuesUpdate) an update
// runs, with the two data connections, the password (DBPassword) and one
// count per merge, and it holds the abort flag. The object lives for the
// whole program; its window comes and goes (ui::Form), and the connections
// go with it.
class FrmVHUpdate : public ui::Form, public merge::Host, public merge::Merger {
public:
    FrmVHUpdate();
    ~FrmVHUpdate() override;

    // The merges' counts by the names the window gives them.
    std::int32_t& LodgeCount = counts.Lodges;
    std::int32_t& IssueCount = counts.Issues;
    std::int32_t& ActivityCount = counts.Activities;
    std::int32_t& ValueCount = counts.Values;
    bool AbortRequested = false;

    // True while one of the merges runs.
    bool merging() const { return merging_ > 0; }

    // Asks the "Cancel" question; true when the user answered Yes.
    static bool confirmCancel();

    // The controls; each loads the window when it is not.
    QLabel& lblLabel1();
    ProgressBar& ProgressBar1();
    QPushButton& cmdCommand1();
    ui::ImageList& ImageList1();
    db::Data& Data1() override;
    db::Data& Data2() override;

    // The window's outer frame in twips; moving keeps its size.
    ui::Twips frame();
    void Move(float left, float top);
    void Show();
    void Hide();

    // Event procedures.
    void Form_Load() override;
    void Form_QueryUnload(bool& cancel, ui::UnloadMode mode) override;
    void cmdCommand1_Click();

    // merge::Host
    void setProgressMin(float value) override;
    void setProgressMax(float value) override;
    void setProgressValue(float value) override;
    void setStatusText(const std::string& text) override;
    void repaint() override;
    void yield() override;
    bool abortRequested() const override { return AbortRequested; }
    bool whileWaiting(db::WaitReason why) override;
    void mergeStarted(const merge::TableDef&) override { ++merging_; }
    void mergeEnded() override;

protected:
    void makeControls(QWidget& window) override;
    void dropControls() override;

private:
    struct Controls;
    Controls& controls();

    std::unique_ptr<Controls> controls_;
    int merging_ = 0;
    // Unloaded while the engine waited: the connections close once the wait
    // is over, not under it.
    bool closeAfterWait_ = false;
};

// The one progress window, made on first use.
FrmVHUpdate& frmVHUpdate();

} // namespace progress
