#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "CodeplugPeer.h"
#include "FlashTarget.h"
#include "LinePacer.h"
#include "Scenario.h"
#include "link/FrameReceiver.h"

// The simulated radio: plays the radio's side (and the interface box's) on the master of a
// pseudo-terminal. The tool opens the slave, directly or as COMn through a link in a port
// directory. The radio follows rate changes and compares its own speed with the tool's line
// speed (tcgetattr on the master reads the slave's settings): bytes sent at the wrong speed
// are noise to it, as they would be to a real radio, and are recorded as a violation.
class RadioSim {
  public:
    explicit RadioSim(Scenario scenario);
    ~RadioSim();
    RadioSim(const RadioSim&) = delete;
    RadioSim& operator=(const RadioSim&) = delete;

    // Creates the pseudo-terminal and, when portDir is given, the link portDir/COM<comNumber>.
    bool Open(std::string& error, const std::string& portDir = {}, int comNumber = 1);
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

    // Serves the line on a thread of its own until Stop.
    void Start();
    void Stop();

    // What the radio saw; safe to call while it runs.
    nlohmann::json Report() const;
    int RadioBaud() const;
    std::vector<std::string> Violations() const;
    int RequestCount(Scenario::Code code) const;
    // The codeplug the radio holds now (after a download, what was written).
    std::vector<std::uint8_t> Codeplug() const;
    // The codeplug format its firmware expects now (what 04 1C reports) and its boot version.
    std::vector<std::uint8_t> CodeplugFormat() const;
    std::vector<std::uint8_t> BootVersion() const;
    // Every image flashed so far, block by block (DSP downloads page by page).
    std::vector<flashsim::FlashedImage> FlashedImages() const;
    bool HungUp() const;
    // Frames taken from the line so far (the index the next one gets in the scenario's
    // lineFault).
    int FramesTaken() const;
    // The frames taken from index first on, as the report lists them: for a test that follows
    // the line while the run goes on without copying the whole report each time.
    nlohmann::json FramesFrom(int first) const;
    // Starts a line fault now, as if the frame it was placed at had just arrived: for faults
    // while the tool waits and sends nothing.
    void InjectNow(Scenario::LineFault::Kind kind);

    // A descriptor that turns readable whenever the radio has taken bytes from the line or
    // sent a reply, so a test can block until what it waits for has happened instead of
    // sleeping. DrainChanges makes it quiet again; check the state after draining.
    int ChangeDescriptor() const { return changed_; }
    void DrainChanges() const;

  private:
    using Bytes = std::vector<std::uint8_t>;
    struct Pending {
        std::int64_t atNs;
        Bytes bytes;
    };
    // The wire traffic of one flashed image, from the first byte of its start command to the
    // last byte of its end command (or of the last reply, if later).
    struct ImageWire {
        long long bytesFromTool = 0;
        long long bytesToTool = 0;
        std::int64_t wireNs = 0;
        std::int64_t firstNs = -1;
        std::int64_t lastNs = 0;
        // The radio's lateness with the replies due within the span, which stretches it.
        std::int64_t lateNs = 0;
    };
    struct RateChange {
        int rate;
        std::int64_t atMs;
        bool toolFollowed = false;
        bool settled = false;
    };

    void Run();
    std::int64_t NowNs() const;
    int LineBaud() const;
    void WriteDue();
    void OnBytes(const std::uint8_t* data, int count, int lineBaud, std::int64_t readNs);
    void OnFrame(const MessageRecord& payload, std::uint8_t src, std::uint8_t dst, int lineBaud,
                 std::int64_t nowNs);
    void OnFlashFrame(const MessageRecord& payload, std::uint8_t src, std::uint8_t dst,
                      int lineBaud, std::int64_t nowNs);
    bool ReplyFor(Scenario::Code code, Bytes& reply);
    const Bytes& FormatNow() const;
    void StartLineFault(Scenario::LineFault::Kind kind);
    // The line fault's effect on a reply about to be sent.
    void SpoilReply(Bytes& wire);
    // Queues a reply ready at atNs; returns when it reaches the tool.
    std::int64_t Queue(const Bytes& wire, std::int64_t atNs);
    void Violation(const std::string& text);
    bool HoldsRateChangeTo(const std::uint8_t* data, int count, int lineBaud) const;
    void SignalChange();
    static Bytes Wire(const Bytes& payload, std::uint8_t src = 0x01, std::uint8_t dst = 0x7F);

    Scenario scenario_;
    int master_ = -1;
    int slave_ = -1;  // only while the pair is being set up, and closed at a hang-up
    int wake_[2] = {-1, -1};
    int changed_ = -1;  // eventfd, see ChangeDescriptor
    std::string slavePath_;
    std::string linkPath_;
    std::thread thread_;
    bool running_ = false;
    std::int64_t startNs_ = 0;

    mutable std::mutex mutex_;  // guards everything below
    FrameReceiver receiver_{0x01};
    LinePacer line_;
    std::vector<ImageWire> imageWire_;
    int radioBaud_ = 19200;
    int bootBusyLeft_ = 0;
    std::map<Scenario::Code, int> busyLeft_;
    std::vector<int> faultsLeft_;
    bool silent_ = false;
    std::vector<Pending> pending_;
    std::vector<RateChange> rateChanges_;
    std::map<Scenario::Code, int> counts_;
    std::vector<std::string> violations_;
    nlohmann::json frames_ = nlohmann::json::array();
    long noiseBytes_ = 0;
    int wrongSpeedChunks_ = 0;
    int replies_ = 0;
    int lastToolBaud_ = 0;
    CodeplugPeer codeplug_;
    flashsim::FlashTarget flash_;
    bool hangUp_ = false;
    int framesTaken_ = 0;
    Scenario::LineFault::Kind spoilNextReply_ = Scenario::LineFault::Kind::kNone;
    bool wrongRate_ = false;
    bool busyForever_ = false;
    // Set once an application image has been flashed: the radio then runs the new firmware.
    bool applicationFlashed_ = false;
};
