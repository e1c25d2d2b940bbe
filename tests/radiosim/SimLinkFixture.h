#pragma once

// The link on the Qt platform, opened on either transport to a simulated radio that serves a
// real pseudo-terminal as COM5 in a port directory of the test's own.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>

#include "RadioSim.h"
#include "SimPortDirectory.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "link/RadioLink.h"

namespace simtest {

constexpr int kSimCom = 5;

// Stops the radio; after a failure shows what it saw, its frames counted, not listed.
inline void StopAndReport(RadioSim& sim, std::size_t limit) {
    sim.Stop();
    if (!::testing::Test::HasFailure())
        return;
    nlohmann::json report = sim.Report();
    report["frames"] = report["frames"].size();
    std::cerr << report.dump(1).substr(0, limit) << "\n";
}

class SimLinkFixture : public ::testing::Test {
  protected:
    SimPortDirectory ports;
    Scenario scenario;
    std::unique_ptr<RadioSim> sim;
    QtMessagePump pump;
    QtIntervalTimer timer;
    std::unique_ptr<RadioLink> link;
    std::unique_ptr<QtPortComponent> component;

    void TearDown() override {
        if (link)
            link->Close();
        if (sim)
            StopAndReport(*sim, 20000);
    }
    void StartSim() {
        sim = std::make_unique<RadioSim>(scenario);
        std::string error;
        ASSERT_TRUE(sim->Open(error, ports.Path(), kSimCom)) << error;
        sim->Start();
    }
    // The program's own direct serial device at 19200 baud, framed and enabled.
    void OpenSimDevice() {
        StartSim();
        link = std::make_unique<RadioLink>(pump);
        link->AttachTimer(timer);
        std::string error;
        ASSERT_TRUE(link->OpenDevice(kSimCom, 19200, false, error))
            << error << ": " << link->OpenErrorDetail();
        link->SetFramed(true);
        link->SetEnabled(true);
    }
    // The port component in RS-485 mode at 19200 baud, framed and enabled.
    void OpenSimComponent() {
        StartSim();
        component = std::make_unique<QtPortComponent>();
        component->SetComNumber(kSimCom);
        component->SetRS485Mode(true);
        link = std::make_unique<RadioLink>(pump, nullptr);
        link->AttachTimer(timer);
        std::string error;
        ASSERT_TRUE(link->OpenComponent(*component, error)) << error;
        link->SetFramed(true);
        link->SetEnabled(true);
        link->SetLocalBaud(19200);
    }
};

}  // namespace simtest
