#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "serial/SerialDevice.h"

class QSocketNotifier;

// Follows serial devices as they are plugged in and pulled out: the monitor's descriptor is
// watched on the event loop, and when a device came or went the device list is read again and
// onChange runs (the window rescans its ports). While the update logic holds a port (a Busy
// scope is alive) onChange waits until the last scope ends, so that a scan never runs beneath
// an open link.
class PortWatch : public QObject {
  public:
    // A null monitor: the list is read once and never followed.
    PortWatch(std::shared_ptr<serial::SerialDeviceSource> source,
              std::shared_ptr<serial::SerialDeviceMonitor> monitor, std::function<void()> onChange,
              QObject* parent = nullptr);
    ~PortWatch() override;

    const std::vector<serial::SerialDevice>& Devices() const { return devices_; }

    class Busy {
      public:
        explicit Busy(PortWatch& watch);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        PortWatch& watch_;
    };

  private:
    void Readable();

    std::shared_ptr<serial::SerialDeviceSource> source_;
    std::shared_ptr<serial::SerialDeviceMonitor> monitor_;
    std::function<void()> onChange_;
    std::vector<serial::SerialDevice> devices_;
    QSocketNotifier* notifier_ = nullptr;
    int busy_ = 0;
    bool pending_ = false;
};
