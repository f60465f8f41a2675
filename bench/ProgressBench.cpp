// What the progress window costs a merge. Merges the same Lodges update
// (N records, default 100,000: half of them new keys, half overwriting older
// records) into fresh copies of one main database:
//   bare     - behind a host that draws nothing and has no events to handle
//   window   - behind the progress window, shown
//   eager    - behind the window, with the bar repainted for every record
// The window runs time every call the merge makes into the window (yield,
// bar, status line, repaint), so the window's share of a merge is measured
// within the run itself, free of the run-to-run noise of the disk. Run it
// under a display server to see what painting costs there:
//   xvfb-run -a build/release/bench/progress_bench [N] [FOLDER]
#include "bench/BareHost.h"
#include "bench/Fill.h"
#include "merge/Merger.h"
#include "merge/Tables.h"
#include "merge/Walk.h"
#include "platform/db/Data.h"
#include "progress/FrmVHUpdate.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string password = merge::DatabasePassword;

// The progress window, with the time spent in it added up. `eager` draws the
// bar again after every record, as a window that cannot tell a change would.
class TimedHost : public merge::Host {
public:
    TimedHost(progress::FrmVHUpdate& form, bool eager) : form_(form), eager_(eager) {}
    double windowSeconds = 0;

    void setProgressMin(float value) override {
        timed([&] { form_.setProgressMin(value); });
    }
    void setProgressMax(float value) override {
        timed([&] { form_.setProgressMax(value); });
    }
    void setProgressValue(float value) override {
        timed([&] {
            form_.setProgressValue(value);
            if (eager_)
                form_.ProgressBar1().repaint();
        });
    }
    void setStatusText(const std::string& text) override {
        timed([&] { form_.setStatusText(text); });
    }
    void repaint() override {
        timed([&] { form_.repaint(); });
    }
    void yield() override {
        timed([&] { form_.yield(); });
    }
    bool abortRequested() const override { return form_.abortRequested(); }

private:
    template <typename Call> void timed(Call call) {
        const auto start = Clock::now();
        call();
        windowSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    }

    progress::FrmVHUpdate& form_;
    bool eager_;
};

double secondsOf(const std::function<std::int32_t()>& merge, int expected) {
    const auto start = Clock::now();
    const std::int32_t written = merge();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (written != expected) {
        std::fprintf(stderr, "the merge wrote %d records, not %d\n", written, expected);
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "progress_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string original = (folder / "Original.mdb").string();
    const std::string main = (folder / "Varnholt.mdb").string();
    const std::string update = (folder / "VHUpdate.mdb").string();
    // The update's first half overwrites the main's records, its second half is new.
    bench::makeFilled(original, password, {"Lodges"}, records / 2, "2024-01-01 10:00:00");
    bench::makeFilled(update, password, {"Lodges"}, records, "2024-06-01 10:00:00");

    progress::FrmVHUpdate& form = progress::frmVHUpdate();
    form.Load();
    form.Move(2000, 2000);
    form.Show();

    const auto fresh = [&] {
        std::filesystem::copy_file(original, main,
                                   std::filesystem::copy_options::overwrite_existing);
    };
    struct Run {
        double seconds;
        double windowSeconds;
    };
    const auto bareRun = [&] {
        bench::BareHost bare;
        merge::Merger merger(bare);
        merger.DBPassword = password;
        fresh();
        const double seconds = secondsOf(
            [&] { return merge::mergeTable(merger, merge::lodges(), main, update); }, records);
        return Run{seconds, 0};
    };
    const auto windowRun = [&](bool eager) {
        TimedHost host(form, eager);
        merge::Merger merger(host);
        merger.DBPassword = password;
        fresh();
        const double seconds = secondsOf(
            [&] { return merge::mergeTable(merger, merge::lodges(), main, update); }, records);
        merger.closeConnections();
        return Run{seconds, host.windowSeconds};
    };

    // Three rounds, the order turned each time; eager is slow enough to run once.
    std::vector<Run> bareRuns, windowRuns;
    for (int round = 0; round < 3; ++round) {
        if (round % 2 == 0) {
            bareRuns.push_back(bareRun());
            windowRuns.push_back(windowRun(false));
        } else {
            windowRuns.push_back(windowRun(false));
            bareRuns.push_back(bareRun());
        }
    }
    const Run eagerRun = windowRun(true);
    form.Unload();

    const auto median = [](std::vector<Run> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        return runs[runs.size() / 2];
    };
    const auto show = [&](const char* what, const Run& run) {
        std::printf("  %-24s %6.2f s  %5.1f us/record", what, run.seconds,
                    run.seconds * 1e6 / records);
        if (run.windowSeconds > 0)
            std::printf("  in the window %5.1f us/record = %4.1f %% of the merge",
                        run.windowSeconds * 1e6 / records, 100 * run.windowSeconds / run.seconds);
        std::printf("\n");
    };
    std::printf("Lodges merge of %d records (%d added, %d overwritten), platform %s:\n", records,
                records - records / 2, records / 2,
                QGuiApplication::platformName().toUtf8().constData());
    show("bare host (median of 3)", median(bareRuns));
    show("window (median of 3)", median(windowRuns));
    for (const Run& run : windowRuns)
        show("  window run", run);
    show("bar repainted always", eagerRun);
    std::filesystem::remove_all(folder);
}
