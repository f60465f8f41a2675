// Runs the program itself on two files, as a user would: the main window
// comes up, the two paths go into its boxes, "Update" is pressed and the
// progress window runs the update. The closing message is answered with OK
// and printed to standard output.
//
//   program_bench MAIN UPDATE                 closing message answered at once
//   program_bench MAIN UPDATE --real-dialogs  Qt's own message box, for a person
//
// Run it on an X server (xvfb-run -a) to time the windows as they draw. Exit
// code 0 when the update ran through, 1 when it was cancelled or failed.
#include "app/FrmMain.h"
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>
#include <iostream>
#include <memory>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: program_bench MAIN UPDATE [--real-dialogs]\n";
        return 2;
    }
    const bool realDialogs = argc > 3 && std::strcmp(argv[3], "--real-dialogs") == 0;
    QApplication application(argc, argv);
    auto scripted = realDialogs ? nullptr : std::make_unique<ui::ScriptedDialogs>();

    app::FrmMain& form = app::frmMain();
    form.Show();
    form.VarnholtDatabase().setText(QString::fromLocal8Bit(argv[1]));
    form.VarnholtUpdate().setText(QString::fromLocal8Bit(argv[2]));
    QApplication::processEvents();

    form.Command1().click();

    if (!scripted)
        return 0;
    if (scripted->asked().empty()) {
        std::cerr << "program_bench: the update ended without a message\n";
        return 1;
    }
    const std::string& message = scripted->asked().back().text;
    std::cout << message << '\n';
    return message.starts_with("Varnholt 2000 Update Complete!") ? 0 : 1;
}
