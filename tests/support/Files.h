#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace testing_support {

// A path of the running test's own, so tests and builds run side by side
// never share a file.
inline std::string scratchFile(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vireon-") + test->test_suite_name() + "-" + test->name() + "-" +
                       std::to_string(std::random_device{}());
    for (char& c : name)
        if (c == '/') c = '-';
    return testing::TempDir() + name + suffix;
}

inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace testing_support
