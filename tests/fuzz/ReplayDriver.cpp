// SPDX-License-Identifier: MIT
// Runs a fuzz target without libFuzzer: every file of the corpus folder, then a fixed number of
// deterministic mutations of them (bit flips, truncations, splices, random bytes), so that the
// target's crash-freedom is checked in every build, sanitizers included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void runOne(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const long mutations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10000;
    std::vector<std::string> corpus;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (corpus.empty())
        corpus.emplace_back();
    for (const std::string& input : corpus)
        runOne(input);

    std::mt19937 random(12345);
    for (long i = 0; i < mutations; ++i) {
        std::string input = corpus[random() % corpus.size()];
        switch (random() % 5) {
        case 0: // flip bits
            for (int k = 0; k < 4 && !input.empty(); ++k)
                input[random() % input.size()] ^= static_cast<char>(1u << (random() % 8));
            break;
        case 1: // truncate
            input.resize(input.empty() ? 0 : random() % input.size());
            break;
        case 2: { // splice with another corpus entry
            const std::string& other = corpus[random() % corpus.size()];
            input = input.substr(0, input.empty() ? 0 : random() % input.size()) +
                    other.substr(other.empty() ? 0 : random() % other.size());
            break;
        }
        case 3: // random bytes
            input.resize(random() % 512);
            for (char& c : input)
                c = static_cast<char>(random());
            break;
        default: // insert interesting bytes
            for (int k = 0; k < 8; ++k) {
                static const char interesting[] = {'\0', '\n', '\r', '=', '[', ']', ';', ',', '\xFF', '\xFE', '"', '9'};
                input.insert(input.empty() ? 0 : random() % input.size(), 1, interesting[random() % sizeof interesting]);
            }
            break;
        }
        runOne(input);
    }
    std::printf("%zu corpus inputs and %ld mutations ran\n", corpus.size(), mutations);
    return 0;
}
