// Runs a test in a fresh, empty working directory of its own: the program's files are relative to it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace veltrano::testing {

class ScopedWorkingDirectory {
public:
    ScopedWorkingDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("veltrano-") + test->test_suite_name() + "-" + test->name();
        std::replace(name.begin(), name.end(), '/', '-');  // as in the names of parameterised tests
        std::filesystem::remove_all(folder_ = std::filesystem::temp_directory_path() / name);
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    ~ScopedWorkingDirectory() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path folder_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace veltrano::testing
