// The main() of test programs that need a QApplication: windows are made on
// the offscreen platform unless the caller chose another (xvfb, a desktop),
// and Qt finds its runtime folder as it does in the program.
#include "platform/ui/RuntimeFolder.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::prepareRuntimeFolder();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // Windows unloaded outside any event wait for an event loop to destroy
    // them, and none runs after the tests.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
