#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

// The path of the one file a fuzz target writes its input to, in a folder of its own.
inline const std::string &scratchFile()
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/trackling-fuzz-XXXXXX";
        if (!::mkdtemp(tmpl))
            std::abort();
        return std::string(tmpl) + "/input.mp3";
    }();
    return path;
}
