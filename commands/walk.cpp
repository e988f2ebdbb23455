#include "walk.h"

#include "filelist.h"

std::vector<std::pair<QString, int>> WalkReport::reasons() const
{
    std::vector<std::pair<QString, int>> counts;
    for (const LeftFile &file : left) {
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto &c) { return c.first == file.reason; });
        if (it == counts.end())
            counts.emplace_back(file.reason, 1);
        else
            ++it->second;
    }
    return counts;
}

WalkReport walkSelection(FileList &list,
                         const std::function<FileOutcome(const QString &name)> &action,
                         const WalkControl &control)
{
    WalkReport report;
    const int n = list.count();
    if (n <= 0)
        return report;
    // The snapshot: rows and names of the selected files, read once.
    const std::vector<bool> selected = list.selectedRows();
    std::vector<std::pair<int, QString>> files;
    for (int row = 0; row < n && row < int(selected.size()); ++row) {
        if (selected[std::size_t(row)])
            files.emplace_back(row, list.itemText(row));
    }
    report.total = int(files.size());
    if (control.snapshot) {
        QStringList names;
        names.reserve(qsizetype(files.size()));
        for (const auto &file : files)
            names << file.second;
        control.snapshot(names);
    }
    for (const auto &[row, name] : files) {
        if (control.stopRequested()) {
            report.stopped = true;
            break;
        }
        list.unselect(row);
        const FileOutcome outcome = action(name);
        if (outcome.done)
            ++report.done;
        else
            report.left.push_back({name, outcome.reason});
        if (control.progress)
            control.progress(report.visited(), report.total);
    }
    return report;
}
