// trackling-cli: the commands of Trackling without a window, for scripts, servers and a NAS.
#include "arguments.h"
#include "filenames.h"
#include "invocation.h"
#include "jsonline.h"
#include "output.h"
#include "runner.h"
#include "session.h"
#include "signals.h"
#include "targets.h"

#include <cstdio>

namespace
{

void print(const QByteArray &text, std::FILE *to = stdout)
{
    std::fwrite(text.constData(), 1, std::size_t(text.size()), to);
}

// A failure before any file was touched: said on standard error, and in JSON also in the summary
// object that a script waits for.
int failed(Invocation &invocation, const QString &what)
{
    invocation.out().message(what);
    if (!invocation.out().json())
        return 3;
    Summary summary;
    summary.text = QStringLiteral("stopped by an error: ") + what;
    summary.error = what;
    return finish(invocation, summary, 3);
}

} // namespace

int main(int argc, char *argv[])
{
    setUpProcess();
    std::vector<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    ParsedArguments parsed;
    try {
        parsed = parseArguments(args);
    } catch (const UsageError &e) {
        print("trackling-cli: " + QByteArray(e.what()) + " (see " +
                  QByteArray::fromStdString(e.helpHint()) + ")\n",
              stderr);
        return 2;
    }
    if (parsed.version) {
        print(versionText());
        return 0;
    }
    if (parsed.help) {
        print(parsed.command ? commandHelp(*parsed.command) : generalHelp());
        return 0;
    }
    installStopHandlers();
    ignoreBrokenPipe();
    Output out(parsed.global.json, parsed.global.quiet);
    Invocation invocation(std::move(parsed), out);
    try {
        return invocation.command().run(invocation);
    } catch (const UsageError &e) {
        out.flush();
        print("trackling-cli: " + QByteArray(e.what()) + " (see " +
                  QByteArray::fromStdString(e.helpHint()) + ")\n",
              stderr);
        return 2;
    } catch (const PathError &e) {
        return failed(invocation, decodeFileName(e.path) + QStringLiteral(": ") +
                                      QString::fromLocal8Bit(e.error.what()));
    } catch (const IoError &e) {
        return failed(invocation, QString::fromLocal8Bit(e.what()));
    } catch (const std::exception &e) {
        return failed(invocation, QString::fromLocal8Bit(e.what()));
    }
}
