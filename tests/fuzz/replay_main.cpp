// Runs a fuzz target over the saved inputs in the folders it is given, in name order, so that the ordinary builds
// test every input the fuzzer once found.
#include <iterator>
#include <set>

#include "fuzz_support.h"

int main(int argc, char** argv) {
    std::set<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) inputs.insert(std::filesystem::directory_iterator(argv[i]), {});
    for (const std::filesystem::path& path : inputs) {
        std::fprintf(stderr, "replaying %s\n", path.c_str());
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        FUZZ_CHECK(in);  // readable
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;  // an empty corpus would test nothing
}
