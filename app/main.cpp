#include "app/FrmMain.h"
#include "generated/Project.h"
#include "platform/ui/RuntimeFolder.h"

#include <QApplication>
#include <cstdio>
#include <string_view>

namespace {

// The manual page is made from this text.
constexpr const char* help =
    "Bring a Varnholt 2000 database up to date from an update file.\n"
    "Usage: varnholt-updater [OPTIONS]\n"
    "\n"
    "The window holds the path of the main database and of the update file, each with a "
    "button to browse for it. \"Update\" merges the update's Lodges, Issues, Activities and "
    "MValues into the main database, table by table, while a progress window shows the table "
    "in hand and offers \"Cancel\"; one message sums up what was written. The update file is "
    "only read. Other arguments are left to Qt, which reads its own, such as -platform.\n"
    "\n"
    "Options:\n"
    "  --help      Print this help and exit.\n"
    "  --version   Print the version and exit.\n"
    "\n"
    "See also:\n"
    "  vhdb        The command-line companion: creates, fills, reads, checks and merges the "
    "same files.\n";

// The two questions answered without a window, so without a display.
bool answeredOnTheCommandLine(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            std::fputs(help, stdout);
            return true;
        }
        if (argument == "--version") {
            std::printf("varnholt-updater %s\n", project::version);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (answeredOnTheCommandLine(argc, argv))
        return 0;
    ui::prepareRuntimeFolder();
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(project::desktopId);
    app::frmMain().Show();
    return application.exec();
}
