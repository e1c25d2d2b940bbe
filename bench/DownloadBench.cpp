// The download engine's own CPU cost for the example package's 12 MB S-record image: reading it
// as words, and reading plus blocking plus framing it against a radio that answers at once (on
// the virtual clock, so only the tool's and the simulated radio's work is measured).
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>

#include "DownloadTestSupport.h"
#include "FirmwareGen.h"
#include "download/CodeDownload.h"
#include "download/SRecordReader.h"

namespace {

constexpr std::uint64_t kPackageTextBytes = 12u << 20;

const std::string& ApplicationText() {
    static const std::string text = [] {
        std::ostringstream out;
        firmwaregen::WriteSRecordImage(
            out,
            {firmwaregen::ImageKind::kApplication,
             firmwaregen::DataBytesForText(firmwaregen::ImageKind::kApplication, kPackageTextBytes),
             1, 16});
        return out.str();
    }();
    return text;
}

void BM_ReadWords(benchmark::State& state) {
    const std::string& text = ApplicationText();
    for (auto _ : state) {
        std::istringstream in(text);
        SRecordReader reader(in, SRecordReader::Kind::kCodeImage);
        std::uint32_t sum = 0;
        int weight = 0;
        std::uint16_t word = 0;
        while (reader.NextRecord(weight))
            while (reader.NextWord(word))
                sum += word;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadWords)->Unit(benchmark::kMillisecond);

void BM_DownloadImage(benchmark::State& state) {
    const std::string& text = ApplicationText();
    const std::string loaderText = dltest::Image({}, '2', 0x010100);
    std::int64_t blocks = 0;
    for (auto _ : state) {
        linktest::VirtualPump pump;
        linktest::FakeLine line;
        linktest::VirtualTimer timer{pump};
        RadioLink link{pump, std::make_unique<linktest::FakeDeviceFactory>(line)};
        dltest::FlashRadioOnLine radio(pump, line, {4, 0, 0, 0}, {});
        line.onWrite = [&, forward = line.onWrite](const dltest::Bytes& b) {
            forward(b);
            line.written.clear();  // keep memory flat: the wire bytes are not needed
        };
        link.AttachTimer(timer);
        std::string error;
        link.OpenDevice(1, 19200, false, error);
        link.SetFramed(true);
        link.SetEnabled(true);
        dltest::RecordingBar bar;
        StatusSink sink = [](const std::string&) {};
        PumpDownloadClock clock(pump);
        std::istringstream loader(loaderText);
        std::istringstream code(text);
        const LinkResult r = DownloadCode(link, loader, code, sink, 0, bar, false, true, clock);
        if (r != LinkResult::kSuccess)
            state.SkipWithError("download failed");
        blocks += radio.target.Images().back().blocks;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["blocks"] =
        benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DownloadImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
