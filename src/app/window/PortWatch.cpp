#include "app/window/PortWatch.h"

#include <QSocketNotifier>

PortWatch::PortWatch(std::shared_ptr<serial::SerialDeviceSource> source,
                     std::shared_ptr<serial::SerialDeviceMonitor> monitor,
                     std::function<void()> onChange, QObject* parent)
    : QObject(parent),
      source_(std::move(source)),
      monitor_(std::move(monitor)),
      onChange_(std::move(onChange)) {
    if (source_)
        devices_ = source_->Devices();
    if (monitor_ && monitor_->Descriptor() >= 0) {
        notifier_ = new QSocketNotifier(monitor_->Descriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { Readable(); });
    }
}

PortWatch::~PortWatch() = default;

void PortWatch::Readable() {
    if (!monitor_->Drain())
        return;
    if (source_)
        devices_ = source_->Devices();
    if (busy_ > 0) {
        pending_ = true;
        return;
    }
    onChange_();
}

PortWatch::Busy::Busy(PortWatch& watch) : watch_(watch) {
    ++watch_.busy_;
}

PortWatch::Busy::~Busy() {
    if (--watch_.busy_ == 0 && watch_.pending_) {
        watch_.pending_ = false;
        watch_.onChange_();
    }
}
