#include "platform/ui/Dialogs.h"

#include "platform/ui/Windows.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpacerItem>
#include <QStringList>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

namespace ui {
namespace {

// The platform's line break is one character; a program text may carry CR LF.
// A long path is shortened, so that the box fits the screen.
QString displayText(const std::string& text) {
    return QString::fromStdString(shortenedPaths(text))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

bool startsPath(const QString& text, qsizetype at) {
    if (at > 0) {
        const QChar before = text[at - 1];
        if (!before.isSpace() && before != QLatin1Char('"') && before != QLatin1Char('\''))
            return false;
    }
    const QChar c = text[at];
    if (c == QLatin1Char('/'))
        return true;
    if (c == QLatin1Char('\\'))
        return at + 1 < text.size() && text[at + 1] == QLatin1Char('\\');
    return c.isLetter() && at + 2 < text.size() && text[at + 1] == QLatin1Char(':') &&
           (text[at + 2] == QLatin1Char('\\') || text[at + 2] == QLatin1Char('/'));
}

// The path's start and its file name, "…" between them.
QString shortened(const QString& path, int longest) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    QString name = path.mid(slash + 1);
    const int keepName = longest * 2 / 3;
    if (name.size() > keepName)
        name = QStringLiteral("\u2026") + name.right(keepName);
    const qsizetype keepStart = std::max<qsizetype>(longest - name.size() - 2, 8);
    return path.left(keepStart) + QStringLiteral("\u2026") +
           (slash >= 0 ? path.mid(slash, 1) : QString()) + name;
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

// Qt sizes a message box by its text, leaving the title 50 pixels beyond its
// width in Qt's own font. Window managers draw titles larger and bold, beside
// the window's icon and up to three buttons, so a long title over a short
// text ("Are you sure you want to abort the update?" over "Cancel
// Operation?") would be cut short. A spacer as wide as such a title bar needs
// widens the box, never past the screen.
void makeRoomForTitle(QMessageBox& box) {
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.25);
    else
        font.setPixelSize(font.pixelSize() * 5 / 4);
    const QFontMetrics metrics(font);
    // The icon, minimise, maximise and close: squares as high as a title
    // bar, which is about twice the height of its text.
    const int icons = 4 * 2 * metrics.height();
    int width = metrics.horizontalAdvance(box.windowTitle()) + icons;
    if (const QScreen* screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
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
        makeRoomForTitle(box);
        QTimer::singleShot(0, &box, [&box] { keepInsideScreen(box); });
        box.exec();
        const auto clicked = box.standardButton(box.clickedButton());
        for (const auto& [button, answer] : buttons)
            if (button == clicked)
                return answer;
        // Closed without a button (Escape with no Cancel to map it to).
        return buttons.size() == 1 ? buttons.front().second : No;
    }

    std::optional<std::string> openFile(const FileRequest& request) override {
        return fileDialog(request, QFileDialog::AcceptOpen);
    }

    std::optional<std::string> saveFile(const FileRequest& request) override {
        return fileDialog(request, QFileDialog::AcceptSave);
    }

    // Qt's file dialog, to choose an existing file or to name one to write.
    static std::optional<std::string> fileDialog(const FileRequest& request,
                                                 QFileDialog::AcceptMode mode) {
        const bool open = mode == QFileDialog::AcceptOpen;
        QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title));
        dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setAcceptMode(mode);
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
        const QString name = QString::fromStdString(request.fileName);
        dialog.selectFile(open ? presetIn(dialog.directory(), name) : name);
        showDetails(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
    }

    // The files with their size, type and date, the columns wide enough for
    // what they show.
    static void showDetails(QFileDialog& dialog) {
        dialog.setViewMode(QFileDialog::Detail);
        if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
            QHeaderView* header = view->header();
            header->setStretchLastSection(false);
            header->setSectionResizeMode(0, QHeaderView::Stretch);
            for (int column = 1; column < header->count(); ++column)
                header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
        const QFontMetrics metrics(dialog.font());
        dialog.resize(std::max(dialog.width(), metrics.averageCharWidth() * 100),
                      std::max(dialog.height(), metrics.height() * 28));
    }

    // The preset name as the folder spells it: on a file system that tells
    // letter cases apart, "varnholt.mdb" selects "Varnholt.mdb", so "Open"
    // needs no click on the file. A file named exactly so comes first.
    static QString presetIn(const QDir& folder, const QString& name) {
        if (name.isEmpty() || folder.exists(name))
            return name;
        const QStringList files = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& file : files)
            if (file.compare(name, Qt::CaseInsensitive) == 0)
                return file;
        return name;
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

std::string shortenedPaths(const std::string& original, int longest) {
    const QString text = QString::fromStdString(original);
    QString result;
    qsizetype at = 0;
    while (at < text.size()) {
        if (!startsPath(text, at)) {
            result += text[at++];
            continue;
        }
        const bool quoted = at > 0 && text[at - 1] == QLatin1Char('"');
        qsizetype end = at;
        while (end < text.size() && text[end] != QLatin1Char('\r') &&
               text[end] != QLatin1Char('\n') && !(quoted && text[end] == QLatin1Char('"')))
            ++end;
        const QString path = text.mid(at, end - at);
        result += path.size() > longest ? shortened(path, longest) : path;
        at = end;
    }
    return result.toStdString();
}

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

std::optional<std::string> showSaveDialog(const FileRequest& request) {
    return dialogs().saveFile(request);
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

std::optional<std::string> ScriptedDialogs::saveFile(const FileRequest& request) {
    return openFile(request);
}

} // namespace ui
