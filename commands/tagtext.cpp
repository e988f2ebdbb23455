#include "tagtext.h"

#include <QList>

std::string toTagText(const QString &text)
{
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (const uint c : text.toUcs4())
        out.push_back(c <= 0xFF ? char(c) : '?');
    return out;
}

QString fromTagText(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
