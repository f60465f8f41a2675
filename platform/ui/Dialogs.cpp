#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace ui {
namespace {

// The platform's line break is one character; a program text may carry CR LF.
QString displayText(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0x70) {
    case CriticalIcon:
        return QMessageBox::Critical;
    case QuestionIcon:
        return QMessageBox::Question;
    case ExclamationIcon:
        return QMessageBox::Warning;
    case InformationIcon:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The buttons of a style, each with the answer it gives.
using Buttons = std::vector<std::pair<QMessageBox::StandardButton, int>>;

Buttons buttonsFor(int style) {
    switch (style & 0x7) {
    case OkCancel:
        return {{QMessageBox::Ok, Ok}, {QMessageBox::Cancel, Cancel}};
    case AbortRetryIgnore:
        return {{QMessageBox::Abort, Abort},
                {QMessageBox::Retry, Retry},
                {QMessageBox::Ignore, Ignore}};
    case YesNoCancel:
        return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}, {QMessageBox::Cancel, Cancel}};
    case YesNo:
        return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}};
    case RetryCancel:
        return {{QMessageBox::Retry, Retry}, {QMessageBox::Cancel, Cancel}};
    default:
        return {{QMessageBox::Ok, Ok}};
    }
}

class QtDialogs : public DialogProvider {
public:
    int messageBox(const MessageRequest& request) override {
        QMessageBox box(iconFor(request.style), QString::fromStdString(request.title),
                        displayText(request.text), QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        const Buttons buttons = buttonsFor(request.style);
        for (const auto& [button, answer] : buttons)
            box.addButton(button);
        const std::size_t defaultIndex = (request.style & 0x300) / DefaultButton2;
        if (defaultIndex < buttons.size())
            box.setDefaultButton(buttons[defaultIndex].first);
        box.exec();
        const auto clicked = box.standardButton(box.clickedButton());
        for (const auto& [button, answer] : buttons)
            if (button == clicked)
                return answer;
        // Closed without a button (Escape with no Cancel to map it to).
        return buttons.size() == 1 ? buttons.front().second : No;
    }

    std::optional<std::string> openFile(const FileRequest& request) override {
        QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // Qt's own dialog matches the filter patterns whatever the letter case
        // of a file's name; native ones may not.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const QStringList filters = qtFilters(request.filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            const int index = request.filterIndex - 1;
            if (index >= 0 && index < filters.size())
                dialog.selectNameFilter(filters[index]);
        }
        const QFileInfo start(QString::fromStdString(request.startIn));
        if (start.isDir())
            dialog.setDirectory(start.absoluteFilePath());
        else if (!request.startIn.empty() && start.absoluteDir().exists())
            dialog.setDirectory(start.absolutePath());
        dialog.selectFile(QString::fromStdString(request.fileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
    }

    // "Databases (*.mdb) | *.mdb|All files|*.*" -> Qt's "description (patterns)".
    static QStringList qtFilters(const std::string& filter) {
        const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
        QStringList filters;
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
            QStringList patterns = parts[i + 1].split(QRegularExpression(QStringLiteral("[;\\s]+")),
                                                      Qt::SkipEmptyParts);
            const QString description = parts[i].trimmed();
            const QString list =
                QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
            // "Databases (*.mdb)" already names its patterns the way Qt reads them.
            filters << (description.endsWith(list) ? description
                                                   : description + QLatin1Char(' ') + list);
        }
        return filters;
    }
};

DialogProvider* current = nullptr;

} // namespace

DialogProvider& dialogs() {
    static QtDialogs qtDialogs;
    return current ? *current : qtDialogs;
}

void setDialogProvider(DialogProvider* provider) {
    current = provider;
}

int MsgBox(const std::string& text, int style, const std::optional<std::string>& title) {
    return dialogs().messageBox({text, style, title.value_or(programTitle)});
}

std::optional<std::string> showOpenDialog(const FileRequest& request) {
    return dialogs().openFile(request);
}

bool CommonDialog::ShowOpen() {
    std::optional<std::string> chosen =
        showOpenDialog({InitDir, FileName, Filter, DialogTitle, FilterIndex});
    if (!chosen)
        return false;
    FileName = std::move(*chosen);
    return true;
}

ScriptedDialogs::ScriptedDialogs() : previous_(current) {
    current = this;
}

ScriptedDialogs::~ScriptedDialogs() {
    current = previous_;
}

int ScriptedDialogs::messageBox(const MessageRequest& request) {
    asked_.push_back(request);
    if (onAsk)
        onAsk(request);
    if (!answers_.empty()) {
        const int answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    }
    switch (request.style & 0x7) {
    case YesNo:
    case YesNoCancel:
        return No;
    case OkOnly:
        return Ok;
    default:
        return Cancel;
    }
}

std::optional<std::string> ScriptedDialogs::openFile(const FileRequest& request) {
    fileRequests_.push_back(request);
    if (files_.empty())
        return std::nullopt;
    auto file = std::move(files_.front());
    files_.erase(files_.begin());
    return file;
}

} // namespace ui
