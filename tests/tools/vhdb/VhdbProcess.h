#pragma once

#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testing_support {

// What a run of vhdb printed and how it ended.
struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The built vhdb (VHDB_PATH), started with its output going to files rather than pipes, so
// that a long run cannot stall on a full pipe while the test waits. A `launcher` runs it
// (setpriv as another user, say) when given.
class VhdbProgram {
public:
    VhdbProgram(const TempDir& dir, std::vector<std::string> args,
                std::vector<std::string> launcher = {})
        : outPath_(dir.file("stdout")), errPath_(dir.file("stderr")) {
        args.insert(args.begin(), VHDB_PATH);
        args.insert(args.begin(), launcher.begin(), launcher.end());
        pid_ = fork();
        if (pid_ == 0) {
            const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            // As at a terminal, whatever the test runner was started with.
            std::signal(SIGINT, SIG_DFL);
            std::vector<char*> argv;
            for (auto& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Waits until standard error holds `text`; false when the program ended
    // or a minute passed first.
    bool waitForError(const std::string& text) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (readFile(errPath_).find(text) == std::string::npos) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                return false;
            }
            if (std::chrono::steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Waits until the program catches `signal` (its handler is installed);
    // false when it ended or a minute passed first.
    bool waitUntilCatching(int signal) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        const std::string status = "/proc/" + std::to_string(pid_) + "/status";
        while (std::chrono::steady_clock::now() < giveUp) {
            const std::string text = readFile(status);
            const auto at = text.find("SigCgt:");
            if (at == std::string::npos)
                return false;
            const unsigned long long caught = std::stoull(text.substr(at + 7), nullptr, 16);
            if (caught & (1ULL << (signal - 1)))
                return true;
        }
        return false;
    }

    void signal(int number) { kill(pid_, number); }

    // Waits for the program to end; the signal that ended it, or 0 when it
    // exited by itself.
    int waitForSignal() {
        int status = status_.value_or(0);
        if (!status_)
            waitpid(pid_, &status, 0);
        status_ = status;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

    Outcome wait() {
        int status = status_.value_or(0);
        if (!status_)
            waitpid(pid_, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "vhdb did not exit normally";
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(outPath_),
                readFile(errPath_)};
    }

private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

} // namespace testing_support
