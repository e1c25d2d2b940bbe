// The flash and DSP downloads, on the Qt platform, against the simulated radio over a real
// pseudo-terminal. The engine's erase waits run on a clock scaled down a hundredfold, and the
// radio's erase time is set to fit, so nothing sleeps through 80 seconds. Stop is pressed at a
// point the engine reports (a status text, then the bar reaching a block), never after a time.
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "AwaitRadio.h"
#include "DownloadTestSupport.h"
#include "FirmwareGen.h"
#include "ScaledClock.h"
#include "SimLinkFixture.h"
#include "TempDir.h"
#include "app/qtplatform/QtIntervalTimer.h"
#include "app/qtplatform/QtMessagePump.h"
#include "app/qtplatform/QtPortComponent.h"
#include "download/CodeDownload.h"
#include "download/DspDownload.h"
#include "link/RadioLink.h"

namespace fs = std::filesystem;
using firmwaregen::Bytes;
using firmwaregen::ImageKind;

namespace {

constexpr int kClockDivisor = 100;

// A recording bar that also tells each position, for a Stop pressed at a block.
class Bar : public dltest::RecordingBar {
  public:
    void SetPosition(int v) override {
        RecordingBar::SetPosition(v);
        if (onPosition)
            onPosition(v);
    }
    std::function<void(int)> onPosition;
};

Bytes Padded(Bytes data, std::uint8_t filler) {
    const std::size_t size = data.empty() ? 256 : (data.size() + 255) / 256 * 256;
    data.resize(size, filler);
    return data;
}

class DownloadSim : public simtest::SimLinkFixture {
  protected:
    ScaledClock clock{pump, kClockDivisor};
    Bar bar;
    dltest::StatusLog status;
    StatusSink sink = [this](const std::string& t) {
        status.texts.push_back(t);
        if (!stopText.empty() && t.rfind(stopText, 0) == 0)
            stopArmed = true;
    };
    TempDir tempDir{"quenta-dlsim"};
    fs::path dir{tempDir.Path()};
    std::string stopText;
    bool stopArmed = false;
    bool stopPressed = false;

    void SetUp() override {
        ASSERT_FALSE(tempDir.Path().empty());
        scenario.baud = 19200;
    }
    // Presses Stop as the window's button does (the event loop runs it inside the engine's
    // next wait) once a status text starting with text has been shown and the bar has then
    // reached position.
    void StopAt(const std::string& text, int position) {
        stopText = text;
        bar.onPosition = [this, position](int v) {
            if (!stopArmed || stopPressed || v < position)
                return;
            stopPressed = true;
            QTimer::singleShot(0, [this] { link->SetEnabled(false); });
        };
    }
    // The program's own direct serial device at 115200 baud, as the window leaves it after
    // opening the port.
    void OpenDevice() {
        OpenSimDevice();
        link->ChangeBaud(115200);
    }
    fs::path WriteImage(const std::string& name, ImageKind kind, std::uint64_t bytes,
                        std::uint32_t seed) {
        const fs::path path = dir / name;
        std::ofstream out(path, std::ios::binary);
        firmwaregen::WriteSRecordImage(out, {kind, bytes, seed, 16});
        return path;
    }
    LinkResult Code(std::uint64_t loaderBytes, std::uint64_t codeBytes, TargetKind kind = 2,
                    bool isBoot = false, bool processorFlag = true) {
        std::ifstream loader(WriteImage("Loader.hex", ImageKind::kLoader, loaderBytes, 1));
        std::ifstream code(WriteImage(
            "Code.hex", isBoot ? ImageKind::kBoot : ImageKind::kApplication, codeBytes, 2));
        return DownloadCode(*link, loader, code, sink, kind, bar, isBoot, processorFlag, clock);
    }
    // A DSP program file of image and a DSP loader of loaderBytes, as streams.
    void DspInputs(const firmwaregen::DspImage& image, std::uint64_t loaderBytes) {
        std::ostringstream coff;
        firmwaregen::WriteCoff(coff, image);
        dspFile = std::istringstream(coff.str());
        std::ostringstream text;
        firmwaregen::WriteSRecordImage(text, {ImageKind::kDspLoader, loaderBytes, 9, 16});
        dspLoader = std::istringstream(text.str());
    }
    LinkResult Dsp(TargetKind kind = 2) {
        return DownloadDsp(*link, dspLoader, dspFile, kind, sink, dir, bar, clock);
    }
    std::istringstream dspFile;
    std::istringstream dspLoader;
    template <class Condition>
    bool AwaitRadio(Condition condition) {
        return simtest::AwaitRadio(*sim, pump, condition);
    }
    // The tool ends an image with 02 04 and awaits no reply: waits until the radio has taken it.
    std::vector<flashsim::FlashedImage> Flashed() {
        EXPECT_TRUE(AwaitRadio([this] {
            const auto images = sim->FlashedImages();
            return !images.empty() && images.back().ended;
        })) << "the radio never saw the end of the last image";
        return sim->FlashedImages();
    }
    // After code the tool switches the radio back to 19200 baud without awaiting a reply.
    bool RadioBackAt19200() {
        return AwaitRadio([this] { return sim->RadioBaud() == 19200; });
    }
};

// ---------- Flash download ----------

TEST_F(DownloadSim, LoaderAndApplicationFlashTheRecordDataThenTheLineIsAt19200) {
    scenario.flash.eraseMs = 600;  // the scaled 80-second wait is 800 ms
    OpenDevice();
    ASSERT_EQ(Code(3000, 40000), LinkResult::kSuccess) << status.Last();
    const auto images = Flashed();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].data, Padded(firmwaregen::Data(1, 3000), 0xFF));
    EXPECT_EQ(images[1].data, Padded(firmwaregen::Data(2, 40000), 0xFF));
    EXPECT_TRUE(images[1].ended);
    EXPECT_EQ(clock.ticks_, std::vector<int>{1440});
    EXPECT_EQ(status.Last(), "Download finished.");
    EXPECT_TRUE(RadioBackAt19200());
    EXPECT_EQ(sim->Report()["lineBaud"], 19200);
    EXPECT_TRUE(sim->Violations().empty()) << sim->Violations().front();
}

TEST_F(DownloadSim, StopDuringTheDownload) {
    OpenDevice();
    // About eight blocks into the application image (96 of the bar per block of 8 lines).
    StopAt("Downloading Application code ...", 8 * 96);
    EXPECT_EQ(Code(100, 40000, 0), LinkResult::kTimedOut);
    ASSERT_TRUE(stopPressed);
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    // The radio answered the start of the application image before its first block went out.
    const auto images = sim->FlashedImages();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_TRUE(images[0].ended);
    EXPECT_FALSE(images[1].ended);
    EXPECT_LT(bar.position, bar.maximum);
}

// The link's reply timer, counting the time-outs it delivers.
class CountingTimer : public IntervalTimer {
  public:
    explicit CountingTimer(IntervalTimer& inner) : inner_(inner) {}
    void SetInterval(int ms) override { inner_.SetInterval(ms); }
    int Interval() const override { return inner_.Interval(); }
    void SetEnabled(bool on) override { inner_.SetEnabled(on); }
    bool IsEnabled() const override { return inner_.IsEnabled(); }
    void SetOnTimer(std::function<void()> handler) override {
        inner_.SetOnTimer([this, handler] {
            ++fired;
            if (handler)
                handler();
        });
    }
    int fired = 0;

  private:
    IntervalTimer& inner_;
};

// The radio's end of the line closes mid-download: the wait ends on the hang-up itself, not
// on the 15-second reply time-out, with the engine's own status text.
TEST_F(DownloadSim, HangUpDuringTheBlocksEndsAtOnceWithTheTimeoutText) {
    scenario.flashFaults.silentFromBlock = 4;
    scenario.flashFaults.hangUpAtSilence = true;
    OpenDevice();
    CountingTimer counting(timer);
    link->AttachTimer(counting);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Code(100, 5000, 0), LinkResult::kTimedOut);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(status.Last(), "Code download timed out or canceled by user.");
    EXPECT_TRUE(sim->HungUp());
    EXPECT_TRUE(link->PortWentAway());
    EXPECT_EQ(counting.fired, 0);
    // Only a net against a wait that never ends.
    EXPECT_LT(seconds, 60.0);
    // Every later wait ends at once too.
    link->SetEnabled(true);
    link->PrepareTimeout(kReplyTimeoutMs);
    link->ReceiveAnyReply();
    EXPECT_EQ(link->Outcome(), LinkResult::kTimedOut);
    EXPECT_EQ(counting.fired, 0);
    // counting ends with this test; the fixture's own timer serves the link's close.
    link->AttachTimer(timer);
}

// With the line paced, no image can cross faster than its frames back to back on the wire: a
// lower bound, which a slow machine only makes easier to meet.
TEST_F(DownloadSim, PacedLineAnImageTakesAtLeastTheTimeOfItsWireBytes) {
    scenario.lineRate = true;
    OpenDevice();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Code(300, 6000, 0), LinkResult::kSuccess) << status.Last();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    Flashed();
    const nlohmann::json report = sim->Report();
    const nlohmann::json& images = report["flash"]["images"];
    ASSERT_EQ(images.size(), 2u);
    double wireMs = 0;
    for (const nlohmann::json& image : images) {
        ASSERT_TRUE(image.contains("wire"));
        const nlohmann::json& w = image["wire"];
        // At 115200 baud a byte takes 86.8 us; the code image moves over 6000 bytes.
        EXPECT_GE(w["wireMs"].get<double>(),
                  (w["bytesFromTool"].get<double>() + w["bytesToTool"].get<double>()) * 0.0868);
        EXPECT_GE(w["spanMs"].get<double>(), w["wireMs"].get<double>());
        wireMs += w["wireMs"].get<double>();
    }
    EXPECT_GT(images[1]["wire"]["bytesFromTool"].get<double>(), 6000);
    EXPECT_GE(ms, wireMs);
    EXPECT_TRUE(report["line"]["paced"].get<bool>());
    EXPECT_GT(report["line"]["toolTurnarounds"].get<int>(), 50);
    EXPECT_TRUE(sim->Violations().empty()) << sim->Violations().front();
}

struct EraseCase {
    TargetKind kind;
    bool isBoot;
    int ticks;
    const char* text;  // nullptr: no erase text
};

class EraseWaits : public DownloadSim, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(EraseWaits, ByKindWithTheRadioReadyInTime) {
    // The radio's erase takes most of the scaled wait; the start after it finds it ready.
    scenario.flash.eraseMs = GetParam().ticks * 1000.0 / 18 / kClockDivisor * 0.7;
    OpenDevice();
    ASSERT_EQ(Code(100, 300, GetParam().kind, GetParam().isBoot), LinkResult::kSuccess)
        << status.Last();
    EXPECT_EQ(clock.ticks_, std::vector<int>{GetParam().ticks});
    // The kind's erase text, or none.
    const auto erasing =
        std::find_if(status.texts.begin(), status.texts.end(),
                     [](const std::string& t) { return t.rfind("Erasing", 0) == 0; });
    EXPECT_STREQ(erasing == status.texts.end() ? nullptr : erasing->c_str(), GetParam().text);
    const auto images = Flashed();
    ASSERT_FALSE(images.empty());
    EXPECT_TRUE(images.back().ended);
    EXPECT_TRUE(RadioBackAt19200());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EraseWaits,
    ::testing::Values(EraseCase{0, false, 36, "Erasing flash (2 seconds)..."},
                      EraseCase{8, false, 36, "Erasing flash (2 seconds)..."},
                      EraseCase{4, false, 720, "Erasing flash (40 seconds)..."},
                      EraseCase{6, false, 1440, "Erasing flash (80 seconds)..."},
                      EraseCase{1, false, 18, nullptr}, EraseCase{4, true, 18, nullptr}));

TEST_F(DownloadSim, BusyRepliesOnTheComponentTransport) {
    scenario.flashFaults.image = -1;
    scenario.flashFaults.busyStartReplies = 2;
    scenario.flashFaults.busyPairReplies = 1;
    OpenSimComponent();  // it stays at 19200 baud
    ASSERT_EQ(Code(500, 3000, 0), LinkResult::kSuccess) << status.Last();
    const auto images = Flashed();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1].data, Padded(firmwaregen::Data(2, 3000), 0xFF));
    EXPECT_EQ(sim->RequestCount(0x0201), 6);
    EXPECT_EQ(component->Baud(), 19200);
}

// ---------- DSP download ----------

TEST_F(DownloadSim, DspPagesArriveInPageOrderWithTheirContents) {
    for (bool layout48 : {true, false}) {
        SCOPED_TRACE(layout48 ? "48-byte headers" : "40-byte headers");
        firmwaregen::DspPlan plan;
        plan.layout48 = layout48;
        plan.pages = 2;  // pages 0 and 3
        plan.seed = 5;
        scenario.replyDelayMs = 0;
        const firmwaregen::DspImage image = firmwaregen::MakeDspImage(plan);
        OpenDevice();
        DspInputs(image, 1500);
        status.texts.clear();
        ASSERT_EQ(Dsp(layout48 ? 3 : 2), LinkResult::kSuccess) << status.Last();
        const auto images = Flashed();
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].data, Padded(firmwaregen::Data(9, 1500), 0x20));
        const auto expected = firmwaregen::ExpectedPages(image);
        ASSERT_EQ(images[1].pages.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(images[1].pages[i], Padded(expected[i], 0x20)) << "page " << i;
        const std::string m = std::to_string(expected.size());
        EXPECT_TRUE(status.Has("Downloading page " + m + " of " + m + " from input DSP file ..."));
        EXPECT_EQ(status.Last(), "Download finished");
        ASSERT_FALSE(clock.pauses_.empty());
        EXPECT_EQ(clock.pauses_.back(), 1000);
        EXPECT_TRUE(fs::is_empty(dir));
        link->Close();
        sim->Stop();
    }
}

TEST_F(DownloadSim, DspStopDuringThePages) {
    OpenDevice();
    firmwaregen::DspPlan plan;
    plan.maxSectionWords = 20000;
    DspInputs(firmwaregen::MakeDspImage(plan), 200);
    StopAt("Downloading page 1 of", 8 * 64);  // eight blocks into the first page
    EXPECT_EQ(Dsp(), LinkResult::kTimedOut);
    ASSERT_TRUE(stopPressed);
    EXPECT_EQ(status.Last(), "DSP download timed out or canceled by user.");
    EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
