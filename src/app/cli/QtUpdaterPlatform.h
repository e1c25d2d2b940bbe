#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/CodeUpdater.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"

// The update logic's platform on the Qt event loop, as the command line runs it: the message
// pump, the two timers, the port component and the component's tick delay. A QCoreApplication
// must exist while it lives.
struct QtUpdaterPlatform {
    QtMessagePump pump;
    QtIntervalTimer commTimer;
    QtIntervalTimer progressTimer;
    QtPortComponent component;
    ComponentDownloadClock clock{component, pump};
    UpdaterPlatform platform{pump,
                             commTimer,
                             progressTimer,
                             component,
                             clock,
                             {},
                             std::filesystem::current_path(),
                             DefaultBackupDirectoryOrEmpty(),
                             {},
                             {}};

  private:
    static std::filesystem::path DefaultBackupDirectoryOrEmpty();
};

// The --port argument: COM1..COM64 as it is, or a device path reached as COM1 through a port
// directory of this run's own (removed at the end).
class PortArgument {
  public:
    PortArgument() = default;
    ~PortArgument();
    PortArgument(const PortArgument&) = delete;
    PortArgument& operator=(const PortArgument&) = delete;

    // Points the serial layer at portDir (when not empty) and resolves port. Returns false
    // with a line for the user; usage is set when the argument itself is wrong.
    bool Resolve(const std::string& port, const std::string& portDir, std::string& error,
                 bool& usage);
    int ComNumber() const { return comNumber_; }

  private:
    int comNumber_ = 0;
    std::string tempDir_;
};

// Prints every frame to out: milliseconds since start, W (wire bytes sent) or R (payload
// received), the bytes in hexadecimal. out must outlive the link's use of it.
void TraceFrames(RadioLink& link, MessagePump& pump, std::FILE* out);
// The same lines as a trace sink of its own, for a caller that watches the frames too.
RadioLink::TraceSink FrameTraceWriter(MessagePump& pump, std::FILE* out);
