#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

// The program's title, shown on a message box that names none.
inline const std::string programTitle = "Varnholt Updater";

// Message box styles and answers, with the values the program's texts and
// callers use.
enum MessageStyle : int {
    OkOnly = 0,
    OkCancel = 1,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5,
    CriticalIcon = 16,
    QuestionIcon = 32,
    ExclamationIcon = 48,
    InformationIcon = 64,
    DefaultButton2 = 256,
};
enum MessageAnswer : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct MessageRequest {
    std::string text;
    int style = OkOnly;
    std::string title; // the program's title when the caller gave none
    friend bool operator==(const MessageRequest&, const MessageRequest&) = default;
};

// The file-open dialog: where it starts, the preset file name, the filter as
// "description|pattern|description|pattern", the caption and which filter
// entry is selected first (counted from 1).
struct FileRequest {
    std::string startIn;
    std::string fileName;
    std::string filter;
    std::string title;
    int filterIndex = 1;
};

// Raises the dialogs. The default shows Qt's; a test puts one in that
// answers from a script, so no screen is needed.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    virtual int messageBox(const MessageRequest& request) = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<std::string> openFile(const FileRequest& request) = 0;
    // The file to write, or nothing when the user cancelled; a file that
    // exists is only chosen after the user agreed to replace it.
    virtual std::optional<std::string> saveFile(const FileRequest& request) = 0;
};

// The provider in use; nullptr puts the Qt dialogs back.
DialogProvider& dialogs();
void setDialogProvider(DialogProvider* provider);

// Modal message box; returns the answer (Ok, Yes, No, ...).
int MsgBox(const std::string& text, int style = OkOnly,
           const std::optional<std::string>& title = std::nullopt);

std::optional<std::string> showOpenDialog(const FileRequest& request);
std::optional<std::string> showSaveDialog(const FileRequest& request);

// The longest path a message box shows whole, in characters.
inline constexpr int LongestShownPath = 90;

// `text` with every path longer than `longest` characters shortened in the
// middle: its start and its file name kept, "…" between them. A path begins
// with "/", "\\" or a drive ("c:\") at the start of a line, after a blank or
// a quote, and runs to the closing quote or the end of the line.
std::string shortenedPaths(const std::string& text, int longest = LongestShownPath);

// The file-open dialog as a window's control: its settings are set, ShowOpen
// raises it, and FileName holds the chosen file afterwards. A cancelled
// dialog leaves FileName as it was set.
struct CommonDialog {
    std::string InitDir; // where the dialog starts: a folder, or a file in one
    std::string FileName;
    std::string Filter; // "description|pattern|description|pattern"
    std::string DialogTitle;
    int FilterIndex = 1;

    // True when the user chose a file.
    bool ShowOpen();
};

// Answers dialogs from a script and records what was asked. A box with no
// scripted answer left gets the safe one: No on a Yes/No box, else OK or
// Cancel; the file dialog with no scripted answer is cancelled. An `onAsk`
// hook runs inside each message box, for a test that looks at the program
// while the box is up. While it lives it is the provider in use.
class ScriptedDialogs : public DialogProvider {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void answer(int answer) { answers_.push_back(answer); }
    void chooseFile(std::optional<std::string> file) { files_.push_back(std::move(file)); }
    std::function<void(const MessageRequest&)> onAsk;

    const std::vector<MessageRequest>& asked() const { return asked_; }
    const std::vector<FileRequest>& fileRequests() const { return fileRequests_; }

    int messageBox(const MessageRequest& request) override;
    std::optional<std::string> openFile(const FileRequest& request) override;
    // Answered from the same files as openFile.
    std::optional<std::string> saveFile(const FileRequest& request) override;

private:
    DialogProvider* previous_;
    std::vector<int> answers_;
    std::vector<std::optional<std::string>> files_;
    std::vector<MessageRequest> asked_;
    std::vector<FileRequest> fileRequests_;
};

} // namespace ui
