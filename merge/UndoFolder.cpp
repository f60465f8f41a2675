#include "merge/UndoFolder.h"

#include "platform/db/SideFiles.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fmt/format.h>
#include <system_error>

namespace fs = std::filesystem;

namespace merge {

namespace {

constexpr const char* Pending = ".undo";
constexpr const char* Undone = ".undone";

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The database's file name as a part of a file name: its stem, with every
// character a file name may not hold on some system made "_".
std::string nameOf(const std::string& mainPath) {
    std::string name = fs::path(mainPath).stem().string();
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            c = '_';
    }
    if (name.empty() || name.front() == '.')
        name = std::string(1, '_').append(name);
    return name.substr(0, 60);
}

std::string timeText(std::chrono::system_clock::time_point now) {
    const std::tm local = localTimeOf(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return fmt::format("{}-{:03}", text, millis < 0 ? millis + 1000 : millis);
}

} // namespace

std::tm localTimeOf(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

UndoFolder::UndoFolder(fs::path folder) : folder_(std::move(folder)) {}

std::string UndoFolder::tagOf(const std::string& mainPath) {
    std::error_code ec;
    fs::path whole = fs::weakly_canonical(fs::absolute(mainPath, ec), ec);
    if (ec)
        whole = fs::absolute(mainPath).lexically_normal();
    std::string text = whole.string();
#ifdef _WIN32
    // One file however the letters of its path are written.
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
#endif
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return fmt::format("{:08x}", static_cast<std::uint32_t>(hash ^ (hash >> 32)));
}

fs::path UndoFolder::newFileFor(const std::string& mainPath,
                                std::chrono::system_clock::time_point now) const {
    fs::create_directories(folder_);
    const std::string stem = nameOf(mainPath) + "_";
    const std::string tag = std::string(1, '_').append(tagOf(mainPath));
    for (;; now += std::chrono::milliseconds(1)) {
        const fs::path file = folder_ / (stem + timeText(now) + tag + Pending);
        std::error_code ec;
        const fs::path undone = fs::path(file).replace_extension(Undone);
        if (!fs::exists(fs::symlink_status(file, ec)) && !fs::exists(undone, ec))
            return file;
    }
}

std::vector<fs::path> UndoFolder::allFilesFor(const std::string& mainPath) const {
    const std::string tag = std::string(1, '_').append(tagOf(mainPath));
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (endsWith(name, tag + Pending) || endsWith(name, tag + Undone))
            files.push_back(it->path());
    }
    // The time in the name sorts them; the extension does not.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.stem().string() > b.stem().string();
    });
    return files;
}

std::vector<fs::path> UndoFolder::filesFor(const std::string& mainPath) const {
    std::vector<fs::path> files = allFilesFor(mainPath);
    std::erase_if(files, [](const fs::path& file) { return file.extension() != Pending; });
    return files;
}

void UndoFolder::prune(const std::string& mainPath) const {
    const std::vector<fs::path> files = allFilesFor(mainPath);
    for (std::size_t i = Kept; i < files.size(); ++i) {
        std::error_code ec;
        if (fs::remove(files[i], ec))
            for (const std::string& side : db::sideFilesOf(files[i].string()))
                fs::remove(side, ec);
    }
}

fs::path UndoFolder::markUndone(const fs::path& file) {
    const fs::path undone = fs::path(file).replace_extension(Undone);
    fs::rename(file, undone);
    return undone;
}

} // namespace merge
