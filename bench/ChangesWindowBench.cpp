// How long the changes window takes to open, and to filter and sort, over a
// list of N changes (default 100,000): changes_window_bench [N]
#include "changes/ChangesWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::stoi(argv[1]) : 100000;
    auto list = std::make_shared<merge::ChangeList>();
    for (int i = 0; i < count; ++i) {
        merge::Change change;
        change.table = i % 4 == 0 ? "Lodges" : "MValues";
        change.added = i % 2 == 0;
        change.key[0] = "K" + std::to_string(i * 7919 % count);
        if (!change.added)
            for (int f = 2; f <= 10; ++f)
                change.fields.push_back({"F" + std::to_string(f), "old " + std::to_string(i),
                                         "new " + std::to_string(i)});
        list->add(std::move(change));
    }
    QElapsedTimer timer;
    timer.start();
    changes::ChangesWindow window(QStringLiteral("Update Preview"), list, QStringLiteral("bench"));
    window.show();
    QCoreApplication::processEvents();
    const qint64 open = timer.restart();
    window.list().scrollToBottom();
    QCoreApplication::processEvents();
    const qint64 scroll = timer.restart();
    window.model().sort(changes::ChangesModel::Key, Qt::AscendingOrder);
    QCoreApplication::processEvents();
    const qint64 sort = timer.restart();
    window.model().setFilter({}, changes::ChangesModel::KindFilter::All, QStringLiteral("new 99"));
    QCoreApplication::processEvents();
    const qint64 search = timer.restart();
    std::printf("%d changes: open %lld ms, scroll to the end %lld ms, sort by key %lld ms, "
                "search %lld ms (%d shown)\n",
                count, static_cast<long long>(open), static_cast<long long>(scroll),
                static_cast<long long>(sort), static_cast<long long>(search),
                window.model().rowCount());
    return 0;
}
