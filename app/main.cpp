#include "app/FrmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    app::frmMain().Show();
    return application.exec();
}
