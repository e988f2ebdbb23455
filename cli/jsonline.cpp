#include "jsonline.h"

namespace
{

void appendEscaped(QByteArray &out, const QByteArray &utf8)
{
    static const char hex[] = "0123456789abcdef";
    out.reserve(out.size() + utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// The text's UTF-8, with each lone surrogate (a byte of a name that is not UTF-8, as
// decodeFileName keeps it) as U+FFFD, so the line stays valid UTF-8.
QByteArray validUtf8(const QString &value)
{
    bool lone = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            lone = true;
            break;
        }
    }
    if (!lone)
        return value.toUtf8();
    QString clean = value;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const QChar c = clean.at(i);
        if (c.isHighSurrogate() && i + 1 < clean.size() && clean.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            clean[i] = QChar::ReplacementCharacter;
    }
    return clean.toUtf8();
}

} // namespace

QByteArray jsonString(const QString &value)
{
    QByteArray out;
    appendEscaped(out, validUtf8(value));
    return out;
}

void JsonLine::key(const char *name)
{
    m_body += m_body.isEmpty() ? "\"" : ",\"";
    m_body += name;
    m_body += "\":";
}

JsonLine &JsonLine::add(const char *name, const QString &value)
{
    key(name);
    appendEscaped(m_body, validUtf8(value));
    return *this;
}

JsonLine &JsonLine::add(const char *name, const char *value)
{
    key(name);
    appendEscaped(m_body, QByteArray(value));
    return *this;
}

JsonLine &JsonLine::add(const char *name, std::int64_t value)
{
    key(name);
    m_body += QByteArray::number(qlonglong(value));
    return *this;
}

JsonLine &JsonLine::add(const char *name, bool value)
{
    key(name);
    m_body += value ? "true" : "false";
    return *this;
}

JsonLine &JsonLine::addNull(const char *name)
{
    key(name);
    m_body += "null";
    return *this;
}

JsonLine &JsonLine::add(const char *name, const QStringList &values)
{
    key(name);
    m_body += '[';
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            m_body += ',';
        appendEscaped(m_body, validUtf8(values[i]));
    }
    m_body += ']';
    return *this;
}

JsonLine &JsonLine::add(const char *name, const JsonLine &object)
{
    key(name);
    m_body += object.text();
    return *this;
}

JsonLine &JsonLine::addName(const char *name, QByteArrayView bytes)
{
    key(name);
    const QByteArray raw = bytes.toByteArray();
    if (bytes.isValidUtf8()) {
        appendEscaped(m_body, raw);
        return *this;
    }
    appendEscaped(m_body, QString::fromUtf8(raw).toUtf8());
    key((QByteArray(name) + "Hex").constData());
    m_body += '"' + raw.toHex() + '"';
    return *this;
}

QByteArray JsonLine::text() const
{
    return '{' + m_body + '}';
}
