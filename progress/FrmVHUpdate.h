#pragma once

#include "merge/Host.h"
#include "merge/Tables.h"
#include "platform/ui/Windows.h"
#include "progress/ProgressBar.h"

#include <QPixmap>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QWidget;

namespace db {
class Data;
}

namespace progress {

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

// The progress window of an update, and the owner of what the merges share:
// the two data connections, the password, the abort flag and one count per
// merge. The object lives for the whole program; its window comes and goes.
// Loading makes the window and its controls (hidden) and runs Form_Load;
// unloading destroys them, the connections with them, and keeps the members.
// Touching a control of an unloaded window loads it again first.
class FrmVHUpdate : public merge::Host {
public:
    FrmVHUpdate();
    ~FrmVHUpdate() override;
    FrmVHUpdate(const FrmVHUpdate&) = delete;
    FrmVHUpdate& operator=(const FrmVHUpdate&) = delete;

    std::int32_t LodgeCount = 0;
    std::int32_t IssueCount = 0;
    std::int32_t ActivityCount = 0;
    std::int32_t ValueCount = 0;
    std::string DBPassword;
    bool AbortRequested = false;

    // The merges. Each returns the number of records it wrote, or 0 when its
    // source was empty or the user cancelled.
    std::int32_t LodgeUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    std::int32_t IssueUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    std::int32_t ActivityUpdate(const std::string& DBLocation, const std::string& UPDLocation);
    // The last merge: at its normal end it also closes the update database.
    std::int32_t ValuesUpdate(const std::string& DBLocation, const std::string& UPDLocation);

    // Runs one merge on this window, marked as running while it lasts; the
    // four above are this with their own merge.
    std::int32_t runMerge(merge::TableUpdate merge, const std::string& DBLocation,
                          const std::string& UPDLocation);

    // True while one of the merges runs.
    bool merging() const { return merging_ > 0; }

    // Asks the "Cancel" question; true when the user answered Yes.
    static bool confirmCancel();

    void Load();
    // Unloads the window as the program does it; a close from the window's
    // frame goes through Form_QueryUnload with FormControlMenu instead.
    void Unload();
    bool isLoaded() const { return loaded_ != nullptr; }

    // The window and its controls; each loads the window when it is not.
    QWidget& window();
    QLabel& lblLabel1();
    ProgressBar& ProgressBar1();
    QPushButton& cmdCommand1();
    ImageList& ImageList1();
    db::Data& Data1() override;
    db::Data& Data2() override;

    // The window's outer frame in twips; moving keeps its size.
    ui::Twips frame();
    void Move(float left, float top);
    void Show();
    void Hide();

    // Event procedures.
    void Form_Load();
    void Form_QueryUnload(bool& cancel, UnloadMode mode);
    void cmdCommand1_Click();

    // merge::Host
    void setProgressMin(float value) override;
    void setProgressMax(float value) override;
    void setProgressValue(float value) override;
    void setStatusText(const std::string& text) override;
    void repaint() override;
    void yield() override;
    bool abortRequested() const override { return AbortRequested; }
    std::string password() const override { return DBPassword; }
    std::int32_t& count(merge::Counter counter) override;

private:
    struct Loaded;

    Loaded& loaded();
    // Called by the window when the user closes it; false refuses the close.
    bool closeRequested();
    bool unload(UnloadMode mode);
    void discardWindow();
    void destroyDiscarded();

    std::unique_ptr<Loaded> loaded_;
    // Windows unloaded from inside one of their own events; destroyed once
    // that event is over.
    std::vector<std::unique_ptr<Loaded>> discarded_;
    int merging_ = 0;
    int inEvent_ = 0;
    int unloading_ = 0;
};

// The one progress window, made on first use.
FrmVHUpdate& frmVHUpdate();

} // namespace progress
