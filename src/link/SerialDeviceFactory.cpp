#include "link/DeviceFactory.h"
#include "serial/ZKWCommDeviceSerial.h"
#include "serial/ZKWWinExtSerialPort.h"

namespace {

// Only this factory creates the devices it is handed back, so the downcasts are exact.
class SerialDeviceFactory : public LinkDeviceFactory {
  public:
    std::unique_ptr<ZKWCommDevice> Create() override {
        return std::make_unique<ZKWCommDeviceSerial>();
    }
    bool OpenPort(ZKWCommDevice& device, int portNumber, int baudIndex, bool handshake) override {
        return static_cast<ZKWCommDeviceSerial&>(device).OpenPort(portNumber, baudIndex, handshake);
    }
    int SetBaud(ZKWCommDevice& device, int baudIndex) override {
        return static_cast<ZKWCommDeviceSerial&>(device).SetBaud(baudIndex);
    }
    int Descriptor(ZKWCommDevice& device) override {
        return static_cast<ZKWCommDeviceSerial&>(device).Port().Descriptor();
    }
    std::string LastOpenError(ZKWCommDevice& device) override {
        return static_cast<ZKWCommDeviceSerial&>(device).FailureText();
    }
};

}  // namespace

std::unique_ptr<LinkDeviceFactory> MakeSerialDeviceFactory() {
    return std::make_unique<SerialDeviceFactory>();
}
