#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "CodeplugScenario.h"
#include "transfer/OfbCipher.h"

// The radio's side of the codeplug transfer (command group 3): serves uploads from its
// codeplug, takes downloads (descrambles every block, checks its own block sums and reports
// them at its own pace, stores what was written), and asks for a password when told to.
class CodeplugPeer {
  public:
    using Bytes = std::vector<std::uint8_t>;

    // serialNumber: the radio's 8-byte serial number, which is its codeplug access code.
    CodeplugPeer(const CodeplugScenario& scenario, const Bytes& serialNumber);

    // Handles one group-3 request and returns the payloads to send, in order.
    std::vector<Bytes> Handle(const std::uint8_t* payload, int length);

    // The codeplug the radio holds now: the last image written whole, else the scenario's.
    const Bytes& Codeplug() const { return codeplug_; }
    void SetCodeplug(const Bytes& codeplug) { codeplug_ = codeplug; }
    // What the last download delivered, descrambled, block by block (0x20 fill included).
    const Bytes& Written() const { return written_; }
    nlohmann::json Report() const;

  private:
    enum class Mode { kIdle, kChallenge, kUpload, kDownload };

    void Challenge(std::vector<Bytes>& out);
    void Grant(std::vector<Bytes>& out);
    void ServeBlock(std::vector<Bytes>& out);
    void TakeBlock(const std::uint8_t* data, int length, std::vector<Bytes>& out);

    CodeplugScenario scenario_;
    OfbCipher::Register accessCode_{};
    Bytes codeplug_;
    Bytes written_;
    Mode mode_ = Mode::kIdle;
    Mode transfer_ = Mode::kIdle;  // the transfer the current challenge is for
    OfbCipher cipher_;
    std::uint16_t sum_ = 0;
    int blocksSinceReport_ = 0;
    bool silent_ = false;
    bool wrongWordStored_ = false;

    int uploads_ = 0;
    int downloads_ = 0;
    int blocksServed_ = 0;
    int blocksReceived_ = 0;
    int passwordRequests_ = 0;
    int passwordReplies_ = 0;
    int grants_ = 0;
    int sumReports_ = 0;
    std::vector<int> sumAnswers_;
    int completedDownloads_ = 0;
    std::vector<std::string> violations_;
};
