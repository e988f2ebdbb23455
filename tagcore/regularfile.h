#pragma once

#include <string>
#include <sys/stat.h>

// Opens a regular file, and nothing else, without ever blocking. The name is looked at first:
// anything but a regular file (a FIFO, a socket, a device, a folder, a link that leads nowhere)
// is refused as access denied and never opened. flags is O_RDONLY or O_RDWR; the descriptor is
// close-on-exec and non-blocking, so that a file swapped for a FIFO or a device between the
// look and the open cannot block either. st describes the file as it was looked at; a caller
// that must be sure of what it opened checks the descriptor (isRegularFile) or notices by its
// reads (a FIFO cannot be read at an offset). Throws IoError; nothing stays open on failure.
int openRegularFile(const std::string &name, int flags, struct stat &st);

// True when fd is open on a regular file; st then describes it. Throws IoError when fstat
// fails.
bool isRegularFile(int fd, struct stat &st);
