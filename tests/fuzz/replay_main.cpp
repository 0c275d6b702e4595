// Runs a fuzz target over the saved inputs in the folders it is given, in name order: every input it once found.
#include <iterator>
#include <set>

#include "fuzz_support.h"

int main(int argc, char** argv) {
    std::set<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) inputs.insert(std::filesystem::directory_iterator(argv[i]), {});
    for (const std::filesystem::path& path : inputs) {
        const std::string bytes{std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;  // an empty corpus would test nothing
}
