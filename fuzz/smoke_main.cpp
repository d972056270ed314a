// Drives a libFuzzer entry point without libFuzzer: every file of the given corpus folders is fed as is,
// then as a series of truncations and deterministic byte mutations. Used as a ctest smoke in the normal
// build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Mutations per seed: the budget shared by all seeds, within these bounds.
constexpr size_t kMutationBudget = 8000;
constexpr size_t kMinMutations = 20;
constexpr size_t kMaxMutations = 200;

void runOne(const std::vector<uint8_t>& bytes) {
    // A copy of exactly the input's size, so a read past the end is caught by the sanitizers.
    std::vector<uint8_t> copy(bytes);
    LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}
}  // namespace

int main(int argc, char** argv) {
    std::mt19937 rng(20261209u);
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(argv[i], ec)) {
            for (auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec))
                if (e.is_regular_file()) paths.push_back(e.path());
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    // A large corpus gets fewer mutations per seed, so the smoke stays a smoke under the sanitizers too.
    const size_t mutations =
        std::clamp<size_t>(kMutationBudget / std::max<size_t>(paths.size(), 1), kMinMutations, kMaxMutations);
    size_t files = 0, runs = 0;
    runOne({});
    for (auto& p : paths) {
        std::ifstream in(p, std::ios::binary);
        std::vector<uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++files;
        runOne(seed);
        ++runs;
        for (size_t cut : {seed.size() / 2, seed.size() / 3, seed.size() > 0 ? seed.size() - 1 : 0}) {
            runOne(std::vector<uint8_t>(seed.begin(), seed.begin() + cut));
            ++runs;
        }
        for (size_t m = 0; m < mutations && !seed.empty(); ++m) {
            std::vector<uint8_t> mut(seed);
            int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) {
                size_t at = rng() % mut.size();
                switch (rng() % 3) {
                    case 0:
                        mut[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                        break;
                    case 1:
                        mut[at] = static_cast<uint8_t>(rng());
                        break;
                    default:
                        mut[at] = (rng() % 2) ? 0xFF : 0x00;
                        break;
                }
            }
            runOne(mut);
            ++runs;
        }
    }
    std::printf("fuzz smoke: %zu seed files, %zu runs\n", files, runs);
    return files == 0 ? 1 : 0;
}
