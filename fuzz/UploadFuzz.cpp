// Feeds arbitrary bytes, as the codeplug a radio serves block by block, to the codeplug upload
// over the link (fake line, virtual clock). The upload must end where the record walk over the
// blocks received so far first finds a position that starts no record (or when the buffer is
// full), keep every byte it was sent, and never hold more than the buffer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "LinkTestSupport.h"
#include "link/RadioLink.h"
#include "transfer/TransferMessages.h"
#include "transfer/ZKWTransferParms.h"

namespace {

// The size at which the upload of `served` must stop: one record header examined per block,
// the first block's at 0, then the one the walk expects next once it has been received.
std::size_t ExpectedSize(const std::vector<std::uint8_t>& served) {
    std::size_t size = 0;
    long next = 0;
    auto byteAt = [&](long i) -> int {
        const std::size_t at = static_cast<std::size_t>(i);
        return at < size && at < served.size() ? served[at] : 0;
    };
    for (;;) {
        size += kTransferBlockBytes;
        if (size >= static_cast<std::size_t>(kTransferImageBytes))
            return size;
        long position = -1;
        if (size == static_cast<std::size_t>(kTransferBlockBytes))
            position = 0;
        else if (static_cast<long>(size) > next)
            position = next;
        if (position < 0)
            continue;
        if (byteAt(position) != 0x5F || byteAt(position + 1) != 0x5F)
            return size;
        next += 2 * (((byteAt(position + 2) << 8) | byteAt(position + 3)) & 0x3FFF);
    }
}

// The radio's side of an upload, as small as the protocol allows: every upload is granted at
// once and served block by block from `served`, zero-padded past its end.
class UploadServer {
  public:
    UploadServer(linktest::VirtualPump& pump, linktest::FakeLine& line,
                 const std::vector<std::uint8_t>& served)
        : radio_(pump, line), served_(served) {
        radio_.onRequest = [this](const linktest::Bytes& p, std::uint8_t) { Handle(p); };
    }
    bool ended = false;

  private:
    void Handle(const linktest::Bytes& p) {
        if (p.size() < 2 || p[0] != transfer_msg::kGroup)
            return;
        if (p[1] == transfer_msg::UploadRequest) {
            radio_.Reply({transfer_msg::kGroup, transfer_msg::AccessGranted}, 1);
            ServeBlock();
        } else if (p[1] == transfer_msg::NextBlock) {
            ServeBlock();
        } else if (p[1] == transfer_msg::TransferEnd) {
            ended = true;
        }
    }
    void ServeBlock() {
        linktest::Bytes payload = {transfer_msg::kGroup, transfer_msg::DataBlock};
        for (int i = 0; i < kTransferBlockBytes; ++i) {
            const std::size_t at =
                blocksServed_ * kTransferBlockBytes + static_cast<std::size_t>(i);
            payload.push_back(at < served_.size() ? served_[at] : 0);
        }
        ++blocksServed_;
        radio_.Reply(payload, 1);
    }

    linktest::LineRadio radio_;
    const std::vector<std::uint8_t>& served_;
    std::size_t blocksServed_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(kTransferImageBytes))
        return -1;
    const std::vector<std::uint8_t> served(data, data + size);

    linktest::VirtualPump pump;
    linktest::FakeLine line;
    linktest::VirtualTimer timer{pump};
    RadioLink link{pump, std::make_unique<linktest::FakeDeviceFactory>(line)};
    UploadServer radio{pump, line, served};
    link.AttachTimer(timer);
    std::string error;
    FUZZ_CHECK(link.OpenDevice(1, 19200, false, error));
    link.SetFramed(true);
    FUZZ_CHECK(link.PrepareTimeout(kReplyTimeoutMs));

    std::vector<std::uint8_t> buffer(kTransferImageBytes, 0);
    ZKWTransferParms transfer;
    transfer.SetImage(buffer.data(), 0);
    transfer.SetLink(&link);
    FUZZ_CHECK(transfer.Upload() > 0);
    FUZZ_CHECK(radio.ended);

    const std::size_t got = static_cast<std::size_t>(transfer.Size());
    FUZZ_CHECK(got == ExpectedSize(served));
    FUZZ_CHECK(got <= buffer.size() && got % kTransferBlockBytes == 0);
    for (std::size_t i = 0; i < got; ++i)
        FUZZ_CHECK(buffer[i] == (i < served.size() ? served[i] : 0));
    return 0;
}
