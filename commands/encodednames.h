#pragma once

#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Names read from a folder, kept as their encoded bytes and decoded on demand: a folder of
// thousands of files costs no string per name until a name is shown or used.
//
// The names are kept in groups of kGroup. The first name of a group is kept whole, each further
// one as its difference to the name before it (the bytes it shares at the same places are left
// out), so names that look alike, as the files of one album do, take a few bytes each. Reading a
// name decodes at most one group.
class EncodedNames
{
public:
    EncodedNames() = default;
    // The names in the given order.
    explicit EncodedNames(const QStringList &names);
    EncodedNames(EncodedNames &&other) noexcept = default;
    EncodedNames &operator=(EncodedNames &&other) noexcept = default;
    EncodedNames(const EncodedNames &) = delete;
    EncodedNames &operator=(const EncodedNames &) = delete;

    int size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    QString at(int i) const;
    // Where at() last was, so that reading the names in order decodes each only once.
    struct Cursor {
        int index = -1;
        std::size_t pos = 0;
        std::string name;
    };
    QString at(int i, Cursor &cursor) const;
    QStringList toStringList() const;

    // Adds a name after the others.
    void append(const char *encoded, std::size_t length);
    // Sorts as the folder browser lists names: letter case disregarded, then by the names
    // themselves so equal-looking names keep one order.
    void sort();

    // Reads the names one after the other. With release set, each group is freed once it has
    // been read (the names are then left empty).
    class Reader
    {
    public:
        explicit Reader(EncodedNames &names, bool release = false);
        explicit Reader(const EncodedNames &names);
        // Moves to the next name; false once all have been read.
        bool next();
        const std::string &name() const { return m_name; }

    private:
        EncodedNames *m_names;
        bool m_release;
        int m_index = -1;
        std::size_t m_pos = 0;
        std::string m_name;
    };

private:
    friend class EncodedNamesSorter;

    static constexpr int kGroup = 32;
    const std::string &group(int g) const;
    // Decodes the name at pos of a group into name, which holds the name before it.
    static void decode(const std::string &group, std::size_t &pos, std::string &name);

    std::vector<std::string> m_groups; // the full groups, each of exactly its size
    std::string m_open;                // the group being filled
    std::string m_last;                // the last name added
    int m_count = 0;
};

// Takes names in any order and hands them back sorted as EncodedNames::sort does. The names are
// sorted in runs as they come, so no more than a run of them is ever held in full; take() merges
// the runs.
class EncodedNamesSorter
{
public:
    void add(const char *encoded, std::size_t length);
    EncodedNames take();

private:
    void endRun();
    static EncodedNames mergeRuns(std::vector<EncodedNames> &runs, std::size_t common);

    std::string m_bytes; // the names of the current run, one after the other
    std::vector<std::size_t> m_starts;
    std::vector<EncodedNames> m_runs;
    std::string m_first;      // the first name
    std::size_t m_shared = 0; // how long a start (ASCII letter case disregarded) all names share
    bool m_any = false;
};

// An ASCII capital letter in lower case; any other byte as it is.
char foldAscii(unsigned char c);
