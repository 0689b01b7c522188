// Feeds every file of the given directories (or the given files) to the fuzz target once,
// so that the kept corpus runs as an ordinary test in builds without libFuzzer.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto &entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
        } else if (fs::is_regular_file(path)) {
            inputs.push_back(path);
        } else {
            std::fprintf(stderr, "corpus driver: no such file or directory: %s\n", argv[i]);
            return 2;
        }
    }
    // An empty corpus would make the test pass without running anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "corpus driver: no inputs given\n");
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path &path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "corpus driver: cannot read %s\n", path.c_str());
            return 2;
        }
        // A copy in its own allocation, so that a read past the end is a read past the input.
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("corpus driver: %zu inputs passed\n", inputs.size());
    return 0;
}
