// Runs a test in a fresh, empty working directory of its own: the program's files are relative to it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace veltrano::testing {

class ScopedWorkingDirectory {
public:
    ScopedWorkingDirectory() {
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    ~ScopedWorkingDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_, ignored_);
    }

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path folder_ = std::filesystem::temp_directory_path() / ("veltrano-" + std::to_string(std::random_device{}()));
    std::error_code ignored_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace veltrano::testing
