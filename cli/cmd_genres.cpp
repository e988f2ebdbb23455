// genres: the genre list that --genre names, as the window's genre box lists it.
#include "command.h"
#include "genres.h"
#include "invocation.h"
#include "jsonline.h"
#include "output.h"
#include "runner.h"
#include "tagfields.h"

namespace
{

int genres(Invocation &invocation)
{
    Output &out = invocation.out();
    int n = 0;
    for (const std::string &name : genreDropDownNames()) {
        const QString text = QString::fromStdString(name);
        const int byte = genreByteOf(text);
        if (out.json())
            out.fileObject(JsonLine().add("genre", text).add("genreByte", byte));
        else
            out.fileLine(QByteArray::number(byte).rightJustified(3) + "  " + text.toUtf8());
        ++n;
    }
    Summary summary;
    summary.done = summary.total = n;
    summary.text = QString::number(n) + QStringLiteral(" genres");
    return finish(invocation, summary, 0);
}

const CommandRegistration registration({
    "genres",
    100,
    "",
    0,
    0,
    "Lists the genres a tag can name, by byte and name, in the order the genre box lists them.",
    "--genre takes a name of this list (letter case not regarded) or its byte; \"(none)\" is "
    "255.",
    {},
    genres,
});

} // namespace
