#include "walk.h"

#include "filelist.h"
#include "filenames.h"
#include "journalformat.h"

#include <chrono>
#include <future>

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

namespace
{

struct Row {
    int row;
    QString name;
};

std::vector<Row> selectedFiles(FileList &list)
{
    std::vector<Row> files;
    const int n = list.count();
    if (n <= 0)
        return files;
    const std::vector<bool> selected = list.selectedRows();
    for (int row = 0; row < n && row < int(selected.size()); ++row) {
        if (selected[std::size_t(row)])
            files.push_back({row, list.itemText(row)});
    }
    return files;
}

using Block = std::vector<PreparedFile>;

// A block holds what its changes record until they are made (a whole ID3v2 tag with its cover
// art, say), while the next block is prepared: a block ends early once that reaches this many
// bytes, so that two blocks and their record fit in memory whatever the files hold. A block has
// one file at least.
constexpr qsizetype kBlockBytes = 16 << 20;

// Prepares the files and records what they foresee, on whatever thread runs it; returns the
// files prepared, the first ones of files (the others are left for the next block). Everything
// it uses it holds by value (the folder and the recorder are shared, the names copied).
Block prepareBlock(Folder folder, PrepareFile prepare, std::shared_ptr<CommandLog> recorder,
                   Block files)
{
    std::vector<std::pair<int, JournalChange>> changes;
    qsizetype bytes = 0;
    std::size_t n = 0;
    for (; n < files.size() && bytes < kBlockBytes; ++n) {
        PreparedFile &file = files[n];
        try {
            prepare(folder, file);
        } catch (...) {
            file.failure = std::current_exception();
            file.change.reset();
        }
        if (file.change) {
            bytes += journalformat::changeRecordSize(*file.change);
            changes.emplace_back(file.index, *file.change);
        }
    }
    files.erase(files.begin() + std::ptrdiff_t(n), files.end());
    if (recorder)
        recorder->record(changes); // a failure leaves every file of the block as it is
    return files;
}

// The block being prepared on the worker thread. Its destructor waits for the worker, so the
// worker never outlives the walk, whatever ends it (a std::async future joins when it goes).
class NextBlock
{
public:
    ~NextBlock() { wait(); }
    void start(Folder folder, PrepareFile prepare, std::shared_ptr<CommandLog> recorder,
               Block files)
    {
        m_future = std::async(std::launch::async, prepareBlock, std::move(folder),
                              std::move(prepare), std::move(recorder), std::move(files));
    }
    bool running() const { return m_future.valid(); }
    // The prepared block; rethrows what failed.
    Block take(const WalkControl &control)
    {
        if (control.waitFor) {
            control.waitFor([this] {
                return m_future.wait_for(std::chrono::milliseconds(20)) ==
                       std::future_status::ready;
            });
        }
        return m_future.get();
    }

private:
    void wait()
    {
        if (m_future.valid())
            m_future.wait();
    }
    std::future<Block> m_future;
};

} // namespace

WalkReport walkInBlocks(const Folder &folder, FileList &list, const PrepareFile &prepare,
                        const ApplyFile &apply, const WalkControl &control)
{
    WalkReport report;
    const std::vector<Row> files = selectedFiles(list);
    report.total = int(files.size());
    CommandLog *recorder = control.recorder.get();
    const auto blockOf = [&](std::size_t from, std::size_t to) {
        Block block;
        block.reserve(to - from);
        for (std::size_t i = from; i < to; ++i) {
            PreparedFile file;
            file.name = files[i].name;
            file.encoded = encodeFileName(file.name);
            file.index = control.indexBase + int(i);
            block.push_back(std::move(file));
        }
        return block;
    };

    NextBlock next;
    Block current;
    std::size_t from = 0;
    int blocks = 0;
    const auto startNext = [&](std::size_t at) {
        const std::size_t to = std::min(files.size(), at + Journal::blockSize(blocks++));
        next.start(folder, prepare, control.recorder, blockOf(at, to));
        return to;
    };
    std::size_t prepared = 0; // files handed to preparing so far
    if (prepare && !files.empty())
        prepared = startNext(0);

    for (std::size_t i = 0; i < files.size(); ++i) {
        if (control.stopRequested()) {
            report.stopped = true;
            break;
        }
        if (prepare && i == from + current.size()) {
            current = next.take(control); // recorded on disk before any of its files changes
            from = i;
            prepared = from + current.size(); // the files of a block cut short come next
            if (prepared < files.size())
                prepared = startNext(prepared);
        }
        PreparedFile file;
        if (prepare) {
            file = std::move(current[i - from]);
        } else {
            file.name = files[i].name;
            file.encoded = encodeFileName(file.name);
            file.index = control.indexBase + int(i);
        }
        list.unselect(files[i].row);
        if (file.failure)
            std::rethrow_exception(file.failure);
        const FileOutcome outcome =
            apply(file, ChangeContext{folder, recorder, file.index, control.dryRun});
        if (outcome.done)
            ++report.done;
        else
            report.left.push_back({file.name, outcome.reason});
        if (outcome.done && outcome.id3v2Differs)
            report.id3v2Differs.push_back(file.name);
        if (control.fileDone)
            control.fileDone(file.name, outcome);
        if (control.progress)
            control.progress(report.visited(), report.total);
    }
    if (control.recorder)
        report.notRecorded = control.recorder->problem();
    return report;
}

WalkReport walkSelection(FileList &list,
                         const std::function<FileOutcome(const QString &name)> &action,
                         const WalkControl &control)
{
    return walkInBlocks(
        Folder(), list, {},
        [&](PreparedFile &file, const ChangeContext &) { return action(file.name); }, control);
}
