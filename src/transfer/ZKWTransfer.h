#pragma once

#include <cstdint>

class RadioLink;

// The abstract transfer: a link and the caller's image buffer of 32768 bytes. Results follow
// the link's convention: positive success, 0 or negative failure.
class ZKWTransfer {
  public:
    ZKWTransfer() = default;
    virtual ~ZKWTransfer() = default;
    ZKWTransfer(const ZKWTransfer&) = delete;
    ZKWTransfer& operator=(const ZKWTransfer&) = delete;

    virtual int Upload() { return -1; }
    virtual int Download() { return -1; }
    virtual void SetLink(RadioLink* l) { link = l; }

    void SetImage(std::uint8_t* buffer, std::int32_t n) {
        image = buffer;
        size = n;
    }
    std::int32_t Size() const { return size; }
    void SetSize(std::int32_t n) { size = n; }

  protected:
    RadioLink* link = nullptr;
    std::uint8_t* image = nullptr;
    std::int32_t size = 0;
};
