// Selecting all files, walking the selection (each item unselected before its action) and
// showing the result, on file lists of growing size: the cost per file must stay flat. Beside
// it, the same walk over a plain in-memory list as the baseline.
#include "filelist.h"
#include "filelistbox.h"
#include "walk.h"

#include <QApplication>
#include <QFile>
#include <QItemSelection>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

namespace
{

class MemoryList : public FileList
{
public:
    explicit MemoryList(int n) : m_selected(std::size_t(n), true) {}
    int count() const override { return int(m_selected.size()); }
    QString itemText(int row) const override { return QString::number(row); }
    std::vector<bool> selectedRows() const override { return m_selected; }
    void unselect(int row) override { m_selected[std::size_t(row)] = false; }
    void reread() override {}

private:
    std::vector<bool> m_selected;
};

double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%8s %12s %12s %12s %12s %12s %12s\n", "files", "all (ms)", "all/file(us)",
                "gaps (ms)", "gaps/file", "base (ms)", "base/file");
    for (int n : {1250, 2500, 5000, 10000}) {
        QTemporaryDir dir;
        for (int i = 0; i < n; ++i) {
            QFile f(dir.filePath(QStringLiteral("%1.mp3").arg(i, 5, 10, QLatin1Char('0'))));
            if (!f.open(QIODevice::WriteOnly))
                return 1;
        }
        TFileListBox list;
        list.setDirectory(dir.path());
        list.resize(225, 211);
        list.show();
        long walked = 0;
        auto visit = [&](const QString &name) {
            walked += name.size();
            return FileOutcome::changed();
        };
        // Select all, walk (every file unselected before its action), show the result.
        const double t = seconds([&] {
            list.selectAllFiles();
            walkSelection(list, visit);
            list.flushPendingUnselect();
            QCoreApplication::processEvents();
        });
        // Every tenth file left out of the selection: the walk meets many runs.
        QItemSelection gaps;
        for (int row = 0; row < n; row += 10)
            gaps.select(list.model()->index(row + 1, 0),
                        list.model()->index(std::min(row + 9, n - 1), 0));
        list.selectionModel()->select(gaps, QItemSelectionModel::ClearAndSelect);
        const double g = seconds([&] {
            walkSelection(list, visit);
            list.flushPendingUnselect();
            QCoreApplication::processEvents();
        });
        MemoryList memory(n);
        const double b = seconds([&] { walkSelection(memory, visit); });
        std::printf("%8d %12.2f %12.3f %12.2f %12.3f %12.3f %12.4f\n", n, t * 1000, t * 1e6 / n,
                    g * 1000, g * 1e6 / n, b * 1000, b * 1e6 / n);
    }
    return 0;
}
