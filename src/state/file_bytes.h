// Reading a whole file into memory by its full size (never only the low
// 32 bits of it). Each caller words its own failure messages.
#pragma once

#include <string>

namespace veltrano {

enum class ReadStatus {
    ok,
    cannotOpen,  // missing, unreadable, or a folder
    noMemory,    // no room for the whole file
    shortRead,   // fewer bytes arrived than the file's size
};

struct FileBytes {
    ReadStatus status = ReadStatus::cannotOpen;
    std::string bytes;  // the whole file when status is ok
    std::string reason;  // why it could not be opened, in the system's words
};

FileBytes ReadFileBytes(const std::string& path);

}  // namespace veltrano
