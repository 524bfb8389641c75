// Writes the seed corpus of one fuzz target into a folder, for the fuzz script.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/SeedCorpus.h"

int main(int argumentCount, char** arguments) {
    const Seeds seeds = argumentCount == 3 ? seedsFor(arguments[1]) : Seeds{};
    if (seeds.empty()) {
        std::fprintf(stderr, "usage: %s archive|ini|registry FOLDER\n", arguments[0]);
        return 2;
    }
    const std::filesystem::path folder = arguments[2];
    std::filesystem::create_directories(folder);
    for (std::size_t number = 0; number < seeds.size(); ++number) {
        std::ofstream(folder / ("seed-" + std::to_string(number)), std::ios::binary)
            << seeds[number];
    }
    return 0;
}
