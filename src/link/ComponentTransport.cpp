#include "link/ComponentTransport.h"

namespace {

// Poll period of the waits for a state that raises no event (CTS, buffer space).
constexpr int kLineStatePollMs = 1;

}  // namespace

TransportOpen ComponentTransport::Open(int baud) {
    if (baud > 0)
        port_.SetBaud(baud);
    const int r = port_.SetOpen(true);
    if (r != 0) {
        error_ = TransportError::kFailed;
        return r == PortComponent::kErrAlreadyOpen ? TransportOpen::kInUse : TransportOpen::kFailed;
    }
    error_ = TransportError::kNone;
    port_.FlushInBuffer();
    port_.FlushOutBuffer();
    return TransportOpen::kOpened;
}

void ComponentTransport::Close() {
    port_.FlushInBuffer();
    // Bytes still queued after the drain are given up on (a line held by flow control);
    // flushing a drained port would throw away what the driver is still sending, such as
    // the last frame of a codeplug write.
    if (port_.OutBuffUsed() > 0)
        port_.FlushOutBuffer();
    port_.SetOpen(false);
}

int ComponentTransport::Write(const std::uint8_t* bytes, int count) {
    if (!port_.Open())
        return -1;
    while (port_.OutBuffFree() < count) {
        pump_.WaitForEvent(-1, kLineStatePollMs);
        if (!port_.Open())
            return -1;
    }
    // RS-485: the line is ours only while CTS is false. Stop or a closed port abandons the
    // send, so a stuck control line cannot hang the program.
    while (port_.RS485Mode() && port_.CTS()) {
        if (!enabled_ || !port_.Open())
            return -1;
        pump_.WaitForEvent(-1, kLineStatePollMs);
    }
    return port_.PutBlock(bytes, count) == 0 ? 1 : -1;
}

bool ComponentTransport::ReadByte(std::uint8_t& byte) {
    if (!port_.CharReady())
        return false;
    byte = port_.GetChar();
    return true;
}

void ComponentTransport::Drain(int limitMs) {
    const std::int64_t deadline = pump_.NowMilliseconds() + limitMs;
    while (port_.Open() && port_.OutBuffUsed() > 0 && pump_.NowMilliseconds() < deadline) {
        pump_.WaitForEvent(-1, kLineStatePollMs * 10);
    }
}
