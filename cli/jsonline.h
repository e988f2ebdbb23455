#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstdint>

// One JSON object, built key by key into UTF-8 text, so that each file's line is written as soon
// as it is known (a command over 100,000 files holds one line at a time, never a document).
// Every string comes out as valid UTF-8 JSON: control characters escaped, and a name whose bytes
// are not UTF-8 given both as text (each bad byte as U+FFFD) and as its bytes in hex.
class JsonLine
{
public:
    JsonLine &add(const char *key, const QString &value);
    JsonLine &add(const char *key, const char *value);
    JsonLine &add(const char *key, std::int64_t value);
    JsonLine &add(const char *key, int value) { return add(key, std::int64_t(value)); }
    JsonLine &add(const char *key, bool value);
    JsonLine &addNull(const char *key);
    JsonLine &add(const char *key, const QStringList &values);
    JsonLine &add(const char *key, const JsonLine &object);
    // A file-system name or path: key as text, and keyHex with its bytes when they are not UTF-8.
    JsonLine &addName(const char *key, QByteArrayView bytes);

    // The object's text, without a line end.
    QByteArray text() const;
    bool isEmpty() const { return m_body.isEmpty(); }

private:
    void key(const char *name);
    QByteArray m_body;
};

// value as a JSON string, quotes included.
QByteArray jsonString(const QString &value);
