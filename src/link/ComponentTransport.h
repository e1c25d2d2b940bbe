#pragma once

#include "link/LinkTransport.h"
#include "link/Platform.h"

// The port component as the link's transport. The component is the owner's (configured with
// its port number and RS-485 mode before opening) and only borrowed; it buffers both ways, so
// a send queues the frame and input arrives as an event of the message pump.
class ComponentTransport : public LinkTransport {
  public:
    // enabled is the link's flag: a send that waits for the line gives up once it is clear.
    ComponentTransport(PortComponent& port, MessagePump& pump, const bool& enabled)
        : port_(port), pump_(pump), enabled_(enabled) {}

    TransportOpen Open(int baud) override;
    void Close() override;
    bool IsOpen() override { return port_.Open(); }
    void SetRate(int baud) override { port_.SetBaud(baud); }
    int Write(const std::uint8_t* bytes, int count) override;
    int BytesWaiting() override { return port_.CharReady() ? 1 : 0; }
    bool ReadByte(std::uint8_t& byte) override;
    void Drain(int limitMs) override;
    int Descriptor() override { return -1; }
    int QuietWaitLimitMs() override { return -1; }
    TransportError LastError() const override { return error_; }
    std::string LastErrorText() const override { return port_.LastErrorText(); }
    bool RepeatsBusyReplies() const override { return true; }
    int RateChangeSettleMs() const override { return 0; }

  private:
    PortComponent& port_;
    MessagePump& pump_;
    const bool& enabled_;
    TransportError error_ = TransportError::kNone;
};
