#include "serial/ZKWWinExtSerialBase.h"

namespace {

constexpr uint32_t kBaudTable[ZKWWinExtSerialBase::kBaudTableSize] = {
    110,  110,  110,   110,   110,   110,   300,   600,   1200,   1200,   2400,
    4800, 9600, 14400, 19200, 38400, 56000, 57600, 57600, 115200, 128000, 256000,
};

}  // namespace

uint32_t ZKWWinExtSerialBase::BaudRateOf(int index) {
    return index >= 0 && index < kBaudTableSize ? kBaudTable[index] : 0;
}

uint8_t ZKWWinExtSerialBase::NormalisedBaudIndex(int index) {
    switch (index) {
        case 0:
        case 1:
        case 3:
        case 4:
        case 5:
            return 2;
        case 9:
            return 8;
        case 18:
            return 17;
        default:
            return static_cast<uint8_t>(index);
    }
}

ZKWWinExtSerialBase::ZKWWinExtSerialBase() {
    // Constructors do not dispatch virtually, so these are this class's own bodies.
    ZKWWinExtSerialBase::SetPortName("COM1");
    ZKWWinExtSerialBase::SetDefaults();
}

void ZKWWinExtSerialBase::SetDefaults() {
    opened = 0;
    baudIndex = kBaud19200;
    dataBits = 3;
    parity = 0;
    stopBits = 0;
    flowControl = 0;
    timeoutSeconds = 0;
    timeoutMilliseconds = 500;
}

void ZKWWinExtSerialBase::SetPortName(const std::string& name) {
    portName = name;
}
const std::string& ZKWWinExtSerialBase::PortName() const {
    return portName;
}
int ZKWWinExtSerialBase::Baud() const {
    return baudIndex;
}
int ZKWWinExtSerialBase::DataBits() const {
    return dataBits;
}
int ZKWWinExtSerialBase::Parity() const {
    return parity;
}
int ZKWWinExtSerialBase::StopBits() const {
    return stopBits;
}
int ZKWWinExtSerialBase::FlowControl() const {
    return flowControl;
}
bool ZKWWinExtSerialBase::IsOpen() const {
    return opened != 0;
}
bool ZKWWinExtSerialBase::HasInput() {
    return InputQueued() != 0;
}
int ZKWWinExtSerialBase::LastError() const {
    return lastError;
}

int ZKWWinExtSerialBase::ReadLine(char* buffer, int room) {
    const int available = BytesAvailable();
    if (available < 1 || room < 1) {
        return 0;
    }
    int stored = 0;
    while (stored < available && stored < room - 1) {
        if (Read(buffer + stored, 1) != 1) {
            break;
        }
        if (buffer[stored++] == '\n') {
            break;
        }
    }
    buffer[stored] = '\0';
    return stored + 1;
}
