#pragma once

// Test doubles for the downloads: a recording progress bar, a recording status sink, the
// radio's flash side on a fake line, and small S-record and COFF builders.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FirmwareGen.h"
#include "FlashTarget.h"
#include "LinkTestSupport.h"
#include "download/ProgressBar.h"
#include "link/FrameReceiver.h"

namespace dltest {

using linktest::Bytes;

class RecordingBar : public ProgressBar {
  public:
    int minimum = -1;
    int maximum = -1;
    int position = -1;
    std::vector<int> positions;
    std::vector<int> maxima;
    void SetMinimum(int v) override { minimum = v; }
    void SetMaximum(int v) override {
        maximum = v;
        maxima.push_back(v);
    }
    void SetPosition(int v) override {
        position = v;
        positions.push_back(v);
    }
};

struct StatusLog {
    std::vector<std::string> texts;
    StatusSink Sink() {
        return [this](const std::string& t) { texts.push_back(t); };
    }
    std::string Last() const { return texts.empty() ? std::string() : texts.back(); }
    bool Has(const std::string& t) const {
        return std::find(texts.begin(), texts.end(), t) != texts.end();
    }
};

// The flash target answering on a fake line through the virtual pump.
class FlashRadioOnLine {
  public:
    FlashRadioOnLine(linktest::VirtualPump& pump, linktest::FakeLine& line,
                     flashsim::Settings settings = {}, flashsim::Faults faults = {})
        : target(settings, faults), radio_(pump, line) {
        radio_.onRequest = [this](const Bytes& payload, std::uint8_t) {
            requests.push_back(payload);
            requestTimesMs.push_back(radio_.NowMs());
            for (const flashsim::Reply& r : target.OnRequest(payload, radio_.NowMs()))
                radio_.Reply(r.payload, r.delayMs);
        };
    }
    flashsim::FlashTarget target;
    std::vector<Bytes> requests;
    std::vector<double> requestTimesMs;

  private:
    linktest::LineRadio radio_;
};

// --- S-record text and DSP program files, by the firmware generator's writers -------------

// A record of type ('1'..'3', '0', '7', '9') with addressBytes of address and the data.
std::string Record(char type, int addressBytes, std::uint32_t address, const Bytes& data);
// An S-record image of data in records of perRecord bytes, CR LF line ends, with an S0 header
// and the end record S904000000FB; type '2' (loader) or '3' (code).
std::string Image(const Bytes& data, char type = '3', std::uint32_t address = 0xFE040100,
                  int perRecord = 16, bool header = true);
Bytes Pattern(std::size_t count, std::uint32_t seed = 1);

// address in words (for kind 3 the upper half is the page); data normally sizeWords * 2 bytes.
using CoffSection = firmwaregen::DspSection;
// A DSP program file with the section-header layout of kind (48-byte headers for kind 3).
Bytes Coff(int kind, const std::vector<CoffSection>& sections, bool optionalHeader = true);

}  // namespace dltest
