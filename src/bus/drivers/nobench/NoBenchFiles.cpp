// Bench files for a build without yaml-cpp (the Windows cross build of the
// bus layer): refused, saying why.

#include "bus/drivers/BenchFile.h"

namespace bus {

namespace {
const std::string kWhy = "this build reads and writes no bench files (built without yaml-cpp)";
} // namespace

BenchLoad loadBenchFile(const std::string& path) {
    return {nullptr, {}, path + ": " + kWhy};
}

BenchLoad readBench(std::string_view, const std::string& name) {
    return {nullptr, {}, name + ": " + kWhy};
}

std::string benchYaml(const Recording&) {
    return {};
}

std::string saveBenchYaml(const Recording&, const std::string& path) {
    return path + ": " + kWhy;
}

} // namespace bus
