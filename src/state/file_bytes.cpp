#include "state/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>

namespace veltrano {

FileBytes ReadFileBytes(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    FileBytes result;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        result.reason = std::strerror(EISDIR);
        return result;
    }
    errno = 0;
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        result.reason = std::strerror(errno != 0 ? errno : ENOENT);
        return result;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        result.status = ReadStatus::shortRead;
        return result;
    }
    try {
        if (size > std::numeric_limits<std::size_t>::max() - 1) throw std::bad_alloc();
        result.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        result.status = ReadStatus::noMemory;
        return result;
    }
    const bool whole = std::fread(result.bytes.data(), 1, result.bytes.size(), file.get()) == result.bytes.size();
    result.status = whole ? ReadStatus::ok : ReadStatus::shortRead;
    if (!whole) result.bytes.clear();
    return result;
}

}  // namespace veltrano
