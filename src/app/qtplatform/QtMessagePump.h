#pragma once

#include <memory>

#include "link/Platform.h"

class QSocketNotifier;
class QTimer;

// The message pump over the Qt event loop. WaitForEvent blocks in the event loop until an
// event arrives: bytes on the watched descriptor (through a socket notifier that is enabled
// only while waiting), a timer, user input or any posted event.
class QtMessagePump : public MessagePump {
  public:
    QtMessagePump();
    ~QtMessagePump() override;

    void ProcessMessages() override;
    void WaitForEvent(int descriptor, int maxWaitMs) override;
    void Pause(int milliseconds) override;
    std::int64_t NowMilliseconds() override;

  private:
    void Watch(int descriptor);

    std::unique_ptr<QSocketNotifier> notifier_;
    int watched_ = -1;
    std::unique_ptr<QTimer> wake_;
};
