// The main() of test programs that need a QApplication: windows are made on
// the offscreen platform unless the caller chose another (xvfb, a desktop),
// and Qt finds its runtime folder as it does in the program.
#include "platform/ui/RuntimeFolder.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::prepareRuntimeFolder();
    // The window keeps an undo file of every update in the user's data
    // folder: the tests' own one, never the user's, removed at the end.
    std::string dataHome =
        (std::filesystem::temp_directory_path() / "varnholt-tests-XXXXXX").string();
    if (!mkdtemp(dataHome.data()))
        return 2;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // Windows unloaded outside any event wait for an event loop to destroy
    // them, and none runs after the tests.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::error_code ec;
    std::filesystem::remove_all(dataHome, ec);
    return result;
}
