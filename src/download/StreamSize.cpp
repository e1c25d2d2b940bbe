#include "download/StreamSize.h"

#include <algorithm>
#include <limits>

std::int64_t StreamSize(std::istream& in) {
    if (!in)
        return -1;
    const std::istream::pos_type here = in.tellg();
    if (here == std::istream::pos_type(-1))
        return -1;
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.clear();
    in.seekg(here);
    if (end == std::istream::pos_type(-1))
        return -1;
    return static_cast<std::int64_t>(end);
}

int ProgressMaximum(std::int64_t size, int divisor, int extra) {
    const std::int64_t value = std::max<std::int64_t>(size, 0) / divisor + extra;
    return static_cast<int>(std::min<std::int64_t>(value, std::numeric_limits<int>::max()));
}
