#include "project/safe_file.h"

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

bool SafeFileWriter::Open() {
    file_.reset(std::fopen(temporary_.c_str(), "wb"));
    return file_ != nullptr;
}

bool SafeFileWriter::Write(std::string_view bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool SafeFileWriter::Commit() {
    const bool flushed = std::fflush(file_.get()) == 0 && !std::ferror(file_.get());
    return std::fclose(file_.release()) == 0 && flushed;
}

bool SafeFileWriter::Replace() {
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    done_ = !error;
    return done_;
}

}  // namespace veltrano
