// Trackling: pick a folder, select MP3 files, fix their ID3v1 tags.
#include "appicon.h"
#include "filenames.h"
#include "session.h"
#include "startup.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace
{

// The arguments as their bytes decode (QCoreApplication::arguments() turns bytes that are not
// valid UTF-8 into U+FFFD, which names another file or none).
QStringList decodedArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments += decodeFileName(QByteArrayView(argv[i]));
    return arguments;
}

// True when an argument asks only for the help or the version, which need no window (and no
// display).
bool asksForInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            return false;
        for (const char *option : {"-h", "--help", "-v", "--version"}) {
            if (std::strcmp(arg, option) == 0)
                return true;
        }
    }
    return false;
}

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and the licence and exit.")};
    // Prints the folder and the selection the program started with, and exits (for its tests).
    QCommandLineOption reportStart{QStringLiteral("report-start")};

    Options() { reportStart.setFlags(QCommandLineOption::HiddenFromHelp); }

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(QStringLiteral(
            "Fix the ID3v1 tags of MP3 files, tidy and rename them, write playlists.\n"
            "Without an argument, the current folder opens."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(reportStart);
        // Two entries, one usage: their syntaxes join to "[FOLDER | FILE...]".
        parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Open FOLDER."),
                                     QStringLiteral("[FOLDER"));
        parser.addPositionalArgument(
            QStringLiteral("FILE..."),
            QStringLiteral("Open the folder of the MP3 files FILE with exactly those files "
                           "selected. Files from several folders open the first file's folder, "
                           "with its files among them selected."),
            QStringLiteral("| FILE...]"));
    }
};

// The shell word for an argument: as it is when it needs no quotes, else in single quotes.
QString shellWord(const QString &arg)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:=@%-]+$"));
    if (plain.match(arg).hasMatch())
        return arg;
    QString quoted = arg;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// A mistake that is a file's name: "-dash.mp3" reads as the options d, a, s, ... When an
// argument before "--" that is not one of the program's options names an existing file or
// folder, the message that says so and how to open it; empty otherwise.
QString pathTakenForOption(const QStringList &arguments, const Options &options)
{
    QStringList known;
    for (const QCommandLineOption *option : {&options.help, &options.version, &options.reportStart})
        known += option->names();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--"))
            break;
        if (arg.size() < 2 || !arg.startsWith(QLatin1Char('-')))
            continue;
        const QString name = arg.startsWith(QLatin1String("--")) ? arg.mid(2) : arg.mid(1);
        struct stat st;
        if (known.contains(name) || ::stat(encodeFileName(arg).constData(), &st) != 0)
            continue;
        return QStringLiteral("\"%1\" is a %2, not an option. To open it, put -- before it: "
                              "trackling -- %3")
            .arg(arg, S_ISDIR(st.st_mode) ? QStringLiteral("folder") : QStringLiteral("file"),
                 shellWord(arg));
    }
    return {};
}

void printVersion()
{
    std::printf("Trackling %s\n"
                "Copyright (C) 2026 The Trackling developers\n"
                "License GPLv3+: GNU GPL version 3 or later "
                "<https://www.gnu.org/licenses/gpl.html>.\n"
                "This is free software: you are free to change and redistribute it.\n"
                "There is NO WARRANTY, to the extent permitted by law.\n",
                TRACKLING_VERSION);
}

// --help and --version, without a window. Both win over any other argument.
int showInformation(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Trackling"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRACKLING_VERSION));
    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    parser.parse(decodedArguments(argc, argv)); // other mistakes do not matter here
    if (parser.isSet(options.version)) {
        printVersion();
        return 0;
    }
    parser.showHelp(0);
}

} // namespace

int main(int argc, char *argv[])
{
    setUpProcess();
    if (asksForInformation(argc, argv))
        return showInformation(argc, argv);
    if (argc == 1)
        readStartFolderAhead(); // while Qt sets up; a folder or files given are read later

    QApplication app(argc, argv); // takes the arguments that are Qt's own out of argv
    QApplication::setApplicationVersion(QStringLiteral(TRACKLING_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.trackling.trackling"));
    QApplication::setWindowIcon(tracklingAppIcon());

    QCommandLineParser parser;
    const Options options;
    options.addTo(parser);
    const QStringList arguments = decodedArguments(argc, argv);
    if (!parser.parse(arguments)) { // a mistake is reported, and the program ends
        const QString file = pathTakenForOption(arguments, options);
        std::fprintf(stderr, "trackling: %s\n",
                     encodeFileName(file.isEmpty() ? parser.errorText() : file).constData());
        return 1;
    }
    if (parser.isSet(options.version)) { // given in a form asksForInformation does not know
        printVersion();
        return 0;
    }
    if (parser.isSet(options.help))
        parser.showHelp(0);

    const OpenProblems problems = createWindowsFor(parser.positionalArguments());
    showMainWindow();
    QTimer::singleShot(0, &app, [problems] { reportOpenProblems(problems); });
    if (parser.isSet(options.reportStart)) {
        QTimer::singleShot(0, &app, [] {
            std::fputs(startState().constData(), stdout);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    const int result = app.exec();
    destroyWindows();
    return result;
}
