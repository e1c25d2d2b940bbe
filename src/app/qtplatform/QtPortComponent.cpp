#include "app/qtplatform/QtPortComponent.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>

#include "serial/PosixSerialOs.h"

namespace {
// How long SetBaud waits for queued bytes to leave at the old rate.
constexpr int kDrainBeforeRateChangeMs = 1000;
// After the driver reports the output drained: USB serial adapters report it while their own
// FIFO still holds bytes, and a pseudo-terminal's peer may not have read them yet.
constexpr int kRateChangeSettleMs = 20;
}  // namespace

int TicksToMilliseconds(int ticks) {
    return static_cast<int>((static_cast<long long>(ticks) * 1000 + kTicksPerSecond / 2) /
                            kTicksPerSecond);
}

QtPortComponent::QtPortComponent(Resolver resolver) : resolver_(std::move(resolver)) {}

QtPortComponent::~QtPortComponent() {
    triggers_.clear();
    if (port_.isOpen())
        port_.close();
}

std::string QtPortComponent::DefaultResolver(int portNumber) {
    return serial::SystemSerialOs().Resolver().ResolveCom(portNumber).path;
}

int QtPortComponent::SetOpen(bool open) {
    if (!open) {
        if (port_.isOpen())
            port_.close();
        return 0;
    }
    if (port_.isOpen()) {
        lastError_ = "the port is already open";
        return kErrAlreadyOpen;
    }
    path_ = resolver_ ? resolver_(comNumber_) : std::string();
    if (path_.empty()) {
        lastError_ = "COM" + std::to_string(comNumber_) + " is not mapped to a device";
        return kErrOpenFailed;
    }
    port_.setPortName(QString::fromStdString(path_));
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(kBufferSize);
    if (port_.open(QIODevice::ReadWrite)) {
        lastError_.clear();
        return 0;
    }
    const QSerialPort::SerialPortError err = port_.error();
    lastError_ = path_ + ": " + port_.errorString().toStdString();
    port_.clearError();
    if (err == QSerialPort::PermissionError) {
        // Qt reports a port held by another process (lock file, exclusive mode) as a
        // permission error too; a device we may open is therefore in use.
        if (::access(path_.c_str(), R_OK | W_OK) == 0)
            return kErrAlreadyOpen;
        lastError_ = path_ + ": permission denied (is the user in the dialout group?)";
    }
    return kErrOpenFailed;
}

void QtPortComponent::SetBaud(int baud) {
    baud_ = baud;
    if (!port_.isOpen())
        return;
    // Bytes already queued (the rate-change request itself) must leave at the old rate.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainBeforeRateChangeMs);
    port_.flush();
    while (port_.bytesToWrite() > 0 && std::chrono::steady_clock::now() < deadline) {
        port_.waitForBytesWritten(50);
    }
    // tcdrain fails only on a port that went away (the change no longer matters) or on a
    // signal (the settle time below still covers the last bytes), so its result is not needed.
    if (port_.handle() >= 0)
        ::tcdrain(port_.handle());
    std::this_thread::sleep_for(std::chrono::milliseconds(kRateChangeSettleMs));
    port_.setBaudRate(baud);
}

void QtPortComponent::FlushInBuffer() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtPortComponent::FlushOutBuffer() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

int QtPortComponent::OutBuffUsed() {
    if (!port_.isOpen())
        return 0;
    // Qt's own buffer, and what the driver holds that has not yet left the line.
    int queued = 0;
    if (port_.handle() >= 0 && ::ioctl(port_.handle(), TIOCOUTQ, &queued) != 0)
        queued = 0;
    return static_cast<int>(port_.bytesToWrite()) + queued;
}

int QtPortComponent::OutBuffFree() {
    return kBufferSize - OutBuffUsed();
}

bool QtPortComponent::CTS() {
    if (!port_.isOpen())
        return false;
    const bool cts = port_.pinoutSignals() & QSerialPort::ClearToSendSignal;
    // A device without modem lines (a pseudo-terminal) fails the query: that is no error.
    port_.clearError();
    return cts;
}

int QtPortComponent::PutBlock(const void* data, int count) {
    if (!port_.isOpen() || count < 0)
        return -1;
    qint64 n = port_.write(static_cast<const char*>(data), count);
    return n == count ? 0 : -1;
}

bool QtPortComponent::CharReady() {
    return port_.isOpen() && port_.bytesAvailable() > 0;
}

std::uint8_t QtPortComponent::GetChar() {
    char c = 0;
    if (!port_.getChar(&c))
        return 0;
    return static_cast<std::uint8_t>(c);
}

int QtPortComponent::AddTimerTrigger() {
    const int handle = nextHandle_++;
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, [this, handle] {
        if (onTrigger_)
            onTrigger_(handle);
    });
    triggers_[handle] = std::move(timer);
    return handle;
}

void QtPortComponent::SetTimerTrigger(int handle, int ticks, bool activate) {
    auto it = triggers_.find(handle);
    if (it == triggers_.end())
        return;
    if (activate) {
        it->second->start(TicksToMilliseconds(ticks));
    } else {
        it->second->stop();
    }
}

void QtPortComponent::RemoveTrigger(int handle) {
    triggers_.erase(handle);
}

void QtPortComponent::DelayTicks(int ticks, bool yield) {
    const int ms = TicksToMilliseconds(ticks);
    if (!yield) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
