#include "serial/InputAhead.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace serial {

InputAhead::TopUp InputAhead::Fill(int fd) {
    if (end_ == kCapacity && start_ > 0) {
        std::memmove(bytes_.data(), bytes_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (end_ == kCapacity)
        return TopUp::kOk;
    for (;;) {
        // One read: a short count means the driver had nothing more at that moment.
        const ssize_t n = ::read(fd, bytes_.data() + end_, kCapacity - end_);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            return TopUp::kOk;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return TopUp::kOk;
        // End of file or a failure: bytes that came before it are still the reader's.
        if (Held() > 0)
            return TopUp::kOk;
        return n == 0 ? TopUp::kHungUp : TopUp::kFailed;
    }
}

std::uint32_t InputAhead::Take(void* out, std::uint32_t count) {
    const std::uint32_t n = count < Held() ? count : Held();
    std::memcpy(out, bytes_.data() + start_, n);
    start_ += n;
    if (start_ == end_)
        start_ = end_ = 0;
    return n;
}

}  // namespace serial
