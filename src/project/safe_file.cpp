#include "project/safe_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace veltrano {

SafeFileWriter::SafeFileWriter(std::string path) : path_(std::move(path)), temporary_(TemporaryPath(path_)) {}

SafeFileWriter::~SafeFileWriter() {
    file_.reset();
    if (!done_) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

bool SafeFileWriter::Fail(int error) {
    reason_ = std::strerror(error != 0 ? error : EIO);
    return false;
}

bool SafeFileWriter::Open() {
    errno = 0;
    file_.reset(std::fopen(temporary_.c_str(), "wb"));
    return file_ != nullptr || Fail(errno);
}

bool SafeFileWriter::Write(std::string_view bytes) {
    errno = 0;
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size() || Fail(errno);
}

bool SafeFileWriter::Commit() {
    errno = 0;
    const bool flushed = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed) return Fail(flushError);
    return closed || Fail(errno);
}

bool SafeFileWriter::Replace() {
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    done_ = !error;
    if (error) reason_ = error.message();
    return done_;
}

}  // namespace veltrano
