#pragma once

#include <stdexcept>
#include <string>

// A failed file operation. errorNumber() is the program's error number: 2 file not found,
// 3 invalid filename, 4 too many open files, 5 access denied, 100 short read, 101 short write
// or full disk; any other failure carries the system's errno, with the system's own text for a
// loop of symbolic links and "I/O error N" otherwise. message() is the text shown to the user,
// full stop included.
class IoError : public std::runtime_error
{
public:
    IoError(int errorNumber, const std::string &message);

    int errorNumber() const { return m_errorNumber; }
    std::string message() const { return what(); }

    // The failure for a system call that set errno to err.
    static IoError fromErrno(int err);
    static IoError accessDenied();
    static IoError readBeyondEnd();
    static IoError diskFull();

private:
    int m_errorNumber;
};

// Appends a full stop when the text's last character sorts after ".".
std::string withFullStop(const std::string &text);
