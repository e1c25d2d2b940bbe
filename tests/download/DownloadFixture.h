#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "DownloadTestSupport.h"
#include "download/DownloadClock.h"
#include "link/RadioLink.h"

// A link on a fake line with the radio's flash side answering, on either transport.
class DownloadFixture : public ::testing::Test, public linktest::FakeLineLink {
  public:
    std::unique_ptr<dltest::FlashRadioOnLine> radio;
    dltest::RecordingBar bar;
    dltest::StatusLog status;
    StatusSink sink = status.Sink();
    PumpDownloadClock clock{pump};

    void Radio(flashsim::Settings settings = {}, flashsim::Faults faults = {}) {
        radio = std::make_unique<dltest::FlashRadioOnLine>(pump, line, settings, faults);
    }
    void OpenDevice() {
        std::string error;
        ASSERT_TRUE(link.OpenDevice(1, 19200, false, error));
        link.SetFramed(true);
        link.SetEnabled(true);
        link.SetLocalBaud(115200);
    }
    void OpenComponent() {
        std::string error;
        component.SetRS485Mode(true);
        ASSERT_TRUE(link.OpenComponent(component, error));
        link.SetFramed(true);
        link.SetEnabled(true);
    }
    // The radio with these faults, reached on the device or the component.
    void Start(flashsim::Faults faults = {}, bool onComponent = false) {
        Radio({}, faults);
        if (onComponent)
            OpenComponent();
        else
            OpenDevice();
    }
    const flashsim::FlashTarget& Target() const { return radio->target; }
    int CountRequests(std::uint8_t g, std::uint8_t f) const {
        int n = 0;
        for (const auto& r : radio->requests)
            n += (r.size() >= 2 && r[0] == g && r[1] == f) ? 1 : 0;
        return n;
    }
};

// data followed by filler bytes up to a whole pair of 128-byte blocks.
inline dltest::Bytes Padded(dltest::Bytes data, std::uint8_t filler) {
    const std::size_t pair = 256;
    const std::size_t size = data.empty() ? pair : (data.size() + pair - 1) / pair * pair;
    data.resize(size, filler);
    return data;
}
