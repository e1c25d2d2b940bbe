#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace serial {

// Input the system layer has already taken from the driver and not yet handed to a reader:
// the input queue as the port's user sees it. Asking how much is queued reads whatever the
// driver holds into it with one non-blocking read, and reads are served from it without a
// system call of their own, so a byte-at-a-time reader pays for its queue checks only.
// Bounded; bytes stay in arrival order.
class InputAhead {
  public:
    static constexpr std::size_t kCapacity = 4096;

    enum class TopUp {
        kOk,      // read what the driver had (perhaps nothing)
        kHungUp,  // the other end is gone and nothing is held
        kFailed,  // the read failed (errno tells) and nothing is held
    };

    // Moves what the driver holds on fd (non-blocking) into the free room.
    TopUp Fill(int fd);
    // Up to count held bytes into out, oldest first; the number taken.
    std::uint32_t Take(void* out, std::uint32_t count);
    std::uint32_t Held() const { return static_cast<std::uint32_t>(end_ - start_); }
    bool Full() const { return start_ == 0 && end_ == kCapacity; }

  private:
    std::array<char, kCapacity> bytes_{};
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

}  // namespace serial
