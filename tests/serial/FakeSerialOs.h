#pragma once

// A recording stand-in for the system layer: every call is recorded with the record it was
// given, and the answers are set by the test.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "serial/OpenFailure.h"
#include "serial/SerialOs.h"

namespace serial {
// Names every field when a comparison of time-outs fails.
inline void PrintTo(const Timeouts& t, std::ostream* out) {
    *out << "{interval " << t.readInterval << ", read " << t.readTotalMultiplier << "/"
         << t.readTotalConstant << ", write " << t.writeTotalMultiplier << "/"
         << t.writeTotalConstant << "}";
}
}  // namespace serial

// What the port sets for a time-out of ms: the interval and both multipliers, no constants.
inline serial::Timeouts IntervalTimeouts(uint32_t ms) {
    serial::Timeouts t;
    t.readInterval = t.readTotalMultiplier = t.writeTotalMultiplier = ms;
    return t;
}

struct FakeCall {
    std::string name;
    serial::Handle handle = serial::kInvalidHandle;
    serial::LineSettings settings;                                      // SetConfig
    serial::Timeouts timeouts;                                          // SetTimeouts
    uint32_t count = 0;                                                 // Read, Write
    serial::EscapeFunction function = serial::EscapeFunction::kSetDtr;  // Escape
};

class FakeSerialOs : public serial::SerialOs {
  public:
    // Answers.
    bool openFails = false;
    serial::OpenFailure failure;  // given back by a failing Open
    serial::LineSettings device;  // what GetConfig reads
    std::string input;            // bytes waiting to be read
    bool clearErrorFails = false;
    uint32_t lineErrors = 0;  // given back (once) by ClearError
    bool readFails = false;
    bool readReturnsNothing = false;  // Read succeeds with 0 bytes
    bool writeFails = false;
    uint32_t modemStatus = 0;
    int failError = EIO;  // errno of failing calls
    serial::Handle nextHandle = 7;

    // Records.
    std::vector<FakeCall> calls;
    std::string openedName;
    std::string output;  // bytes written

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const FakeCall& c : calls)
            names.push_back(c.name);
        return names;
    }
    int Count(const std::string& name) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](const FakeCall& c) { return c.name == name; }));
    }
    const FakeCall* Last(const std::string& name) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->name == name)
                return &*it;
        }
        return nullptr;
    }
    void Forget() { calls.clear(); }

    serial::Handle Open(const std::string& name, serial::OpenFailure* f) override {
        Record("Open", serial::kInvalidHandle);
        openedName = name;
        if (openFails) {
            if (f)
                *f = failure;
            last = failure.osError;
            return serial::kInvalidHandle;
        }
        open = nextHandle;
        return open;
    }
    bool GetConfig(serial::Handle h, serial::LineSettings& out) override {
        Record("GetConfig", h);
        if (!Valid(h))
            return false;
        out = device;
        return true;
    }
    bool SetConfig(serial::Handle h, const serial::LineSettings& s) override {
        Record("SetConfig", h).settings = s;
        if (!Valid(h))
            return false;
        device = s;
        return true;
    }
    bool SetTimeouts(serial::Handle h, const serial::Timeouts& t) override {
        Record("SetTimeouts", h).timeouts = t;
        return Valid(h);
    }
    bool ClearError(serial::Handle h, uint32_t& errors, serial::QueueStatus& status) override {
        Record("ClearError", h);
        errors = lineErrors;
        lineErrors = 0;
        status = serial::QueueStatus();
        if (!Valid(h))
            return false;
        if (clearErrorFails)
            return Fail();
        status.inQueue = static_cast<uint32_t>(input.size());
        return true;
    }
    bool Read(serial::Handle h, void* buffer, uint32_t count, uint32_t& got) override {
        Record("Read", h).count = count;
        got = 0;
        if (!Valid(h))
            return false;
        if (readFails)
            return Fail();
        if (readReturnsNothing)
            return true;
        got = std::min<uint32_t>(count, static_cast<uint32_t>(input.size()));
        std::memcpy(buffer, input.data(), got);
        input.erase(0, got);
        return true;
    }
    bool Write(serial::Handle h, const void* buffer, uint32_t count, uint32_t& put) override {
        Record("Write", h).count = count;
        put = 0;
        if (!Valid(h))
            return false;
        if (writeFails)
            return Fail();
        output.append(static_cast<const char*>(buffer), count);
        put = count;
        return true;
    }
    bool Flush(serial::Handle h) override {
        Record("Flush", h);
        return Valid(h);
    }
    bool Escape(serial::Handle h, serial::EscapeFunction f) override {
        Record("Escape", h).function = f;
        return Valid(h);
    }
    bool ModemStatus(serial::Handle h, uint32_t& status) override {
        Record("ModemStatus", h);
        status = modemStatus;
        return Valid(h);
    }
    bool Close(serial::Handle h) override {
        Record("Close", h);
        if (!Valid(h))
            return false;
        open = serial::kInvalidHandle;
        return true;
    }
    int LastOsError() const override { return last; }

  private:
    FakeCall& Record(const char* name, serial::Handle h) {
        FakeCall call;
        call.name = name;
        call.handle = h;
        calls.push_back(call);
        return calls.back();
    }
    bool Valid(serial::Handle h) {
        if (h != serial::kInvalidHandle && h == open)
            return true;
        last = EBADF;
        return false;
    }
    bool Fail() {
        last = failError;
        return false;
    }

    serial::Handle open = serial::kInvalidHandle;
    int last = 0;
};
