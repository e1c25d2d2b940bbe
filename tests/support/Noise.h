#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// Bytes no parser takes for text or a record, the same for the same seed.
inline std::string Noise(std::size_t size, unsigned seed) {
    std::string noise(size, '\0');
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return noise;
}

}  // namespace testsupport
