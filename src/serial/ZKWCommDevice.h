#pragma once

// The abstract byte channel the radio link talks through. The device keeps no buffer,
// performs no framing and never waits; the link does all of that.
class ZKWCommDevice {
public:
    ZKWCommDevice() = default;
    virtual ~ZKWCommDevice() = default;
    ZKWCommDevice(const ZKWCommDevice&) = delete;
    ZKWCommDevice& operator=(const ZKWCommDevice&) = delete;

    virtual int Open() { return -1; }
    virtual int Close() { return -1; }
    virtual bool IsOpen() { return false; }
    virtual bool HasData() { return false; }
    virtual int ReadByte(char& /*out*/) { return -1; }
    virtual int Read(void* /*buffer*/, int /*count*/) { return -1; }
    virtual int Write(const void* /*buffer*/, int /*count*/) { return -1; }
    virtual int LastError() { return 0; }

    // Device kind code: 0 for the abstract device, 2 for the serial device.
    int kind = 0;
};
