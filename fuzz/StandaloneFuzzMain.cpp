// Drives a fuzz target without libFuzzer: replays every file of the corpus folder given on the
// command line, then feeds deterministic mutations of those inputs (and of nothing) so that a
// parser that crashes on hostile bytes fails the ordinary test run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds{{}};
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (const auto& seed : seeds) {
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
    }
    std::mt19937 random(12345);
    const int rounds = 4000;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> input = seeds[random() % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const unsigned kind = random() % 4;
            if (kind == 0 || input.empty()) {
                input.insert(input.begin() + static_cast<long>(input.empty() ? 0 : random() % input.size()),
                             static_cast<uint8_t>(random()));
            } else if (kind == 1) {
                input[random() % input.size()] = static_cast<uint8_t>(random());
            } else if (kind == 2) {
                input.erase(input.begin() + static_cast<long>(random() % input.size()));
            } else {
                const size_t at = random() % input.size();
                input.insert(input.begin() + static_cast<long>(at), input.begin(),
                             input.begin() + static_cast<long>(at));
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("fuzz replay: %zu seeds, %d generated inputs, no crash\n", seeds.size(), rounds);
    return 0;
}
