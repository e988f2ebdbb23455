// Times the batch commands on many files in a temporary folder, side by side with a loop of the
// bare system calls each command cannot do without, measured in the same run.
//
//   commands_bench [files...]   (default: 1000 10000)

#include "bareio.h"
#include "memoryfilelist.h"
#include "nocommandquestions.h"
#include "rename.h"
#include "tagsfromnames.h"
#include "testfiles.h"
#include "tidy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace
{

QStringList asideNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("aside %1.mp3").arg(i);
    return names;
}

struct Result {
    const char *command;
    int files;
    double commandMs;
    double bareMs;
};

// One command over a selected file list, and its bare-call loop over the same files.
struct Step {
    const char *command;
    const char *bare;
    std::function<void(MemoryFileList &)> run;
    std::function<double(const QStringList &)> baseline; // returns its own timing
    QString firstNameAfter; // the first file's name once the command has run
};

std::vector<Step> steps()
{
    return {
        {"tags from file names", "open/pread/pwrite/close 128 B",
         [](MemoryFileList &list) {
             NamingOptions options;
             options.pattern = PatternArtistSong;
             options.album = QStringLiteral("Album");
             options.year = QStringLiteral("2001");
             options.genre = QStringLiteral("Rock");
             NoCommandQuestions none;
             tagsFromFileNames(here(), list, options, none);
         },
         [](const QStringList &names) {
             return bareio::millis([&] { bareio::tagAccess(names, true); });
         },
         bareio::nameOf(0)},
        {"tidy file names", "rename",
         [](MemoryFileList &list) { tidyFileNames(here(), list, PatternArtistSong); },
         [](const QStringList &names) {
             const QStringList aside = asideNames(int(names.size()));
             const double ms = bareio::millis([&] { bareio::renames(names, aside); });
             bareio::renames(aside, names);
             return ms;
         },
         tidyName(bareio::nameOf(0), PatternArtistSong)},
        {"rename from tags", "open/pread/close 128 B + rename",
         [](MemoryFileList &list) { renameFromTags(here(), list); },
         [](const QStringList &names) {
             const QStringList aside = asideNames(int(names.size()));
             const double ms = bareio::millis([&] {
                 bareio::tagAccess(names, false);
                 bareio::renames(names, aside);
             });
             bareio::renames(aside, names);
             return ms;
         },
         bareio::nameOf(0)},
    };
}

std::vector<Result> runAt(int files)
{
    WorkingFolder folder;
    if (!folder.isValid())
        return {};
    const QByteArray audio = testfiles::frames(bareio::kHeader, 1);
    for (int i = 0; i < files; ++i)
        testfiles::writeFile(bareio::nameOf(i), audio);

    std::vector<Result> results;
    for (const Step &step : steps()) {
        MemoryFileList list;
        list.selectAll();
        const double commandMs = bareio::millis([&] { step.run(list); });
        const QStringList after = MemoryFileList::folderItems();
        const bool tagged = testfiles::readFile(after.value(0)).right(128).startsWith("TAG");
        if (after.size() != files || after.value(0) != step.firstNameAfter || !tagged)
            std::fprintf(stderr, "%s: unexpected result\n", step.command);
        // The bare calls run on the files as the command left them.
        const double bareMs = step.baseline(MemoryFileList::folderItems());
        results.push_back({step.command, files, commandMs, bareMs});
    }
    return results;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QByteArray(argv[i]).toInt();
    if (counts.isEmpty())
        counts = {1000, 10000};

    std::vector<Result> all;
    std::printf("%-22s %7s %12s %12s %7s   baseline\n", "command", "files", "command ms", "bare ms",
                "ratio");
    for (int files : counts) {
        for (const Result &r : runAt(files)) {
            const char *bare = "";
            for (const Step &s : steps())
                if (std::string(s.command) == r.command)
                    bare = s.bare;
            std::printf("%-22s %7d %12.1f %12.1f %6.2fx   %s\n", r.command, r.files, r.commandMs,
                        r.bareMs, r.commandMs / r.bareMs, bare);
            all.push_back(r);
        }
    }

    // Scaling from the smallest to the largest run.
    if (counts.size() > 1) {
        std::vector<bareio::Timing> timings;
        for (const Result &r : all)
            timings.push_back({r.command, r.files, r.commandMs, r.bareMs});
        bareio::printScaling(timings, counts.first(), counts.last(), 22);
    }
    return 0;
}
