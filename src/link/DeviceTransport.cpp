#include "link/DeviceTransport.h"

#include <cerrno>

#include "link/Protocol.h"
#include "serial/ZKWCommDeviceSerial.h"
#include "serial/ZKWWinExtSerialPort.h"

namespace {

// The system's answers once the device is gone: a USB adapter unplugged (EIO, then ENXIO or
// ENODEV for a node that no longer exists) or the far end of a pseudo-terminal closed (EIO).
bool IsHangUp(int osError) {
    return osError == EIO || osError == ENXIO || osError == ENODEV;
}

// A device whose descriptor the pump cannot watch raises no event when bytes arrive: its
// waits wake this often to poll.
constexpr int kPollWithoutDescriptorMs = 2;

class SerialDeviceFactory : public LinkDeviceFactory {
  public:
    std::unique_ptr<LinkTransport> Create(int portNumber, bool handshake) override {
        return std::make_unique<DeviceTransport>(portNumber, handshake);
    }
};

}  // namespace

std::unique_ptr<LinkDeviceFactory> MakeSerialDeviceFactory() {
    return std::make_unique<SerialDeviceFactory>();
}

DeviceTransport::DeviceTransport(int portNumber, bool handshake)
    : DeviceTransport(portNumber, handshake, std::make_unique<ZKWCommDeviceSerial>()) {}

DeviceTransport::DeviceTransport(int portNumber, bool handshake,
                                 std::unique_ptr<ZKWCommDeviceSerial> device)
    : device_(std::move(device)), portNumber_(portNumber), handshake_(handshake) {}

DeviceTransport::~DeviceTransport() = default;

TransportOpen DeviceTransport::Open(int baud) {
    if (device_->OpenPort(portNumber_, DeviceBaudIndex(baud), handshake_)) {
        error_ = TransportError::kNone;
        return TransportOpen::kOpened;
    }
    error_ = TransportError::kFailed;
    return TransportOpen::kFailed;
}

void DeviceTransport::Close() {
    device_->Close();
}

bool DeviceTransport::IsOpen() {
    return device_->IsOpen();
}

void DeviceTransport::SetRate(int baud) {
    device_->SetBaud(DeviceBaudIndex(baud));
}

int DeviceTransport::Write(const std::uint8_t* bytes, int count) {
    const int written = device_->Write(bytes, count);
    if (written < 0)
        NoteFailure();
    return written;
}

// The port's own query rather than the device's HasData, which folds a failed query into "no
// data": a port that went away must end the wait, not look quiet.
int DeviceTransport::BytesWaiting() {
    if (!device_->IsOpen())
        return 0;
    const int available = device_->Port().BytesAvailable();
    if (available < 0) {
        NoteFailure();
        return 0;
    }
    return available;
}

void DeviceTransport::NoteFailure() {
    error_ =
        IsHangUp(device_->Port().OsError()) ? TransportError::kHungUp : TransportError::kFailed;
}

bool DeviceTransport::ReadByte(std::uint8_t& byte) {
    char c = 0;
    if (device_->ReadByte(c) != 1)
        return false;
    byte = static_cast<std::uint8_t>(c);
    return true;
}

// Every write returns only after its bytes have left the driver, so nothing is left to drain.
void DeviceTransport::Drain(int /*limitMs*/) {}

int DeviceTransport::Descriptor() {
    return device_->Descriptor();
}

int DeviceTransport::QuietWaitLimitMs() {
    return Descriptor() < 0 ? kPollWithoutDescriptorMs : -1;
}

std::string DeviceTransport::LastErrorText() const {
    return device_->FailureText();
}
