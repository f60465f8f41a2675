#include "platform/ui/RuntimeFolder.h"

#include "tests/support/TempDir.h"

#include <QStandardPaths>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void restore(const char* name, const std::optional<std::string>& value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

QStringList warnings;

void collectWarnings(QtMsgType, const QMessageLogContext&, const QString& message) {
    warnings << message;
}

// Runs each test as on a machine without XDG_RUNTIME_DIR, with the temporary
// folder in a fresh place; puts both variables back afterwards.
class RuntimeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TMPDIR", temp.path().c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        warnings.clear();
    }

    void TearDown() override {
        restore("TMPDIR", savedTemp);
        restore("XDG_RUNTIME_DIR", savedRuntime);
    }

    // What Qt says when it looks for the runtime folder, and where it finds it.
    static QString qtRuntimeFolder() {
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        qInstallMessageHandler(previous);
        return folder;
    }

    static mode_t modeOf(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    const std::optional<std::string> savedTemp = environment("TMPDIR");
    const std::optional<std::string> savedRuntime = environment("XDG_RUNTIME_DIR");
    testing_support::TempDir temp;
    const fs::path expected =
        temp.path() / ("runtime-" + std::string(getpwuid(geteuid())->pw_name));
};

TEST_F(RuntimeFolderTest, WithoutTheVariableQtFindsAPrivateFolderAndSaysNothing) {
    EXPECT_TRUE(ui::prepareRuntimeFolder());

    EXPECT_EQ(environment("XDG_RUNTIME_DIR"), expected.string());
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(modeOf(expected), 0700u);
    EXPECT_EQ(qtRuntimeFolder().toStdString(), expected.string());
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST_F(RuntimeFolderTest, AFolderLeftOpenToOthersIsMadePrivate) {
    fs::create_directory(expected);
    chmod(expected.c_str(), 0755);

    EXPECT_TRUE(ui::prepareRuntimeFolder());

    EXPECT_EQ(modeOf(expected), 0700u);
    EXPECT_EQ(qtRuntimeFolder().toStdString(), expected.string());
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST_F(RuntimeFolderTest, SomethingElseInTheWayLeavesTheVariableUnset) {
    testing_support::writeFile(expected.string(), "not a folder");
    EXPECT_FALSE(ui::prepareRuntimeFolder());
    EXPECT_EQ(environment("XDG_RUNTIME_DIR"), std::nullopt);

    // A link to a folder somebody else may have made is not followed.
    fs::remove(expected);
    const fs::path elsewhere = temp.path() / "elsewhere";
    fs::create_directory(elsewhere);
    chmod(elsewhere.c_str(), 0755);
    fs::create_directory_symlink(elsewhere, expected);
    EXPECT_FALSE(ui::prepareRuntimeFolder());
    EXPECT_EQ(environment("XDG_RUNTIME_DIR"), std::nullopt);
    EXPECT_EQ(modeOf(elsewhere), 0755u);
}

TEST_F(RuntimeFolderTest, AVariableAlreadySetIsLeftAlone) {
    setenv("XDG_RUNTIME_DIR", "/run/user/elsewhere", 1);

    EXPECT_TRUE(ui::prepareRuntimeFolder());

    EXPECT_EQ(environment("XDG_RUNTIME_DIR"), "/run/user/elsewhere");
    EXPECT_FALSE(fs::exists(expected));
}

} // namespace
