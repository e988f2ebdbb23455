#include "textcuts.h"

#include <QList>

namespace
{

template <class Text> Text cut(const Text &text, int pos, int n)
{
    const int len = int(text.size());
    if (len == 0 || pos > len || n < 0)
        return Text();
    if (pos < 1)
        pos = 1;
    const int avail = len - pos + 1;
    return Text(text.data() + (pos - 1), n < avail ? n : avail);
}

} // namespace

std::string copyText(const std::string &text, int pos, int n)
{
    return cut(text, pos, n);
}

QString copyText(const QString &text, int pos, int n)
{
    return cut(text, pos, n);
}

int positionOf(const std::string &what, const std::string &text)
{
    const auto at = text.find(what);
    return at == std::string::npos ? 0 : int(at) + 1;
}

int positionOf(const QString &what, const QString &text)
{
    return int(text.indexOf(what)) + 1;
}
