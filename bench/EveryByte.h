#pragma once

// The long answers of the benchmarks' instruments: every byte value, over and
// over, made as it is read, so a block of any size costs no memory up front.
#include <cstddef>
#include <cstdint>

namespace bench_support {

inline void everyByteValue(std::uint64_t offset, char* dest, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        dest[i] = static_cast<char>((offset + i) & 0xFF);
}

} // namespace bench_support
