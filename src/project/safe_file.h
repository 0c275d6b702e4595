// Writes a file so that the old one survives any failure: the bytes go to
// a temporary file beside it, which replaces the old file only when it is
// complete. An abandoned temporary file is deleted.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace veltrano {

class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    bool Open();                        // false: the temporary file cannot be created
    bool Write(std::string_view bytes);  // false: fewer bytes were stored
    bool Commit();                      // false: the data could not be flushed
    bool Replace();                     // false: the old file could not be replaced

    const std::string& Path() const { return path_; }
    // Why the last step failed, in the system's words.
    const std::string& Reason() const { return reason_; }

    static std::string TemporaryPath(const std::string& path) { return path + ".saving"; }

private:
    bool Fail(int error);

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string path_;
    std::string temporary_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::string reason_;
    bool done_ = false;
};

}  // namespace veltrano
