#include "download/DspDownload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include "DownloadFixture.h"
#include "FileSizeLimit.h"
#include "TempDir.h"

using dltest::Bytes;
using dltest::Coff;
using dltest::CoffSection;
using dltest::Pattern;

namespace fs = std::filesystem;

namespace {

std::string ToString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// A section of sizeWords words of pattern data at address (words).
CoffSection Section(std::uint32_t address, std::int32_t sizeWords, std::uint16_t pageField = 0,
                    std::uint32_t seed = 1) {
    CoffSection s;
    s.address = address;
    s.sizeWords = sizeWords;
    s.pageField = pageField;
    s.data = Pattern(static_cast<std::size_t>(sizeWords) * 2, seed);
    return s;
}

// A stream over bytes that reports their full size but fails every read past limit, like a
// file whose later sectors cannot be read.
class FailingBuf : public std::streambuf {
  public:
    FailingBuf(std::string bytes, std::size_t limit)
        : bytes_(std::move(bytes)), readable_(std::min(limit, bytes_.size())) {
        seekpos(0, std::ios::in);
    }

  protected:
    pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode) override {
        const off_type here = far_ >= 0 ? far_ : gptr() - eback();
        const off_type base = dir == std::ios::beg   ? 0
                              : dir == std::ios::cur ? here
                                                     : static_cast<off_type>(bytes_.size());
        return seekpos(base + off, std::ios::in);
    }
    pos_type seekpos(pos_type pos, std::ios::openmode) override {
        const auto at = static_cast<std::size_t>(off_type(pos));
        if (at > bytes_.size())
            return pos_type(off_type(-1));
        char* b = bytes_.data();
        far_ = at <= readable_ ? -1 : static_cast<off_type>(at);
        setg(b, b + std::min(at, readable_), b + readable_);
        return pos;
    }

  private:
    std::string bytes_;
    std::size_t readable_;
    off_type far_ = -1;  // a position past the readable part
};

class DspDownloadTest : public DownloadFixture {
  protected:
    TempDir temp{"dsp-test"};
    fs::path dir{temp.Path()};
    std::istringstream loader;
    Bytes loaderData = Pattern(200, 11);

    void SetUp() override {
        DownloadFixture::SetUp();
        ASSERT_FALSE(temp.Path().empty());
        loader.str(dltest::Image(loaderData, '3', 0x00000100, 16, false));
    }

    LinkResult Run(std::istream& dspFile, int kind = 2) {
        return DownloadDsp(link, loader, dspFile, static_cast<TargetKind>(kind), sink, dir, bar,
                           clock);
    }
    LinkResult Run(const Bytes& file, int kind = 2) {
        std::istringstream in(ToString(file));
        return Run(in, kind);
    }
    // A new radio on the open link, for a second download in the same test.
    void Again() {
        radio.reset();
        Radio();
        link.SetEnabled(true);
        status.texts.clear();
        loader.clear();
        loader.seekg(0);
    }
    const flashsim::FlashedImage& Pages() const { return Target().Images().at(1); }
    bool PageFilesLeft() const {
        for (int i = 0; i < 9; ++i)
            if (fs::exists(dir / ("Page" + std::to_string(i))))
                return true;
        return false;
    }
};

// ---------- Whole download ----------

TEST_F(DspDownloadTest, LoaderThenPagesWithGapsOverlapsAndFiller) {
    Start();
    // Page 0: a section at word 0x10, an overlapping later one at 0x18, a filtered one.
    const CoffSection a = Section(0x10, 40, 0x0000, 1);
    const CoffSection b = Section(0x18, 8, 0x0000, 2);
    const CoffSection filtered = Section(0x00, 8, 0x0100, 3);
    ASSERT_EQ(Run(Coff(2, {a, filtered, b})), LinkResult::kSuccess);

    ASSERT_EQ(Target().Images().size(), 2u);
    EXPECT_EQ(Target().Images()[0].data, Padded(loaderData, 0x20));
    ASSERT_EQ(Pages().pages.size(), 1u);
    Bytes page(0x20, 0);  // the gap before the first section reads as zero bytes
    page.insert(page.end(), a.data.begin(), a.data.end());
    std::copy(b.data.begin(), b.data.end(), page.begin() + 0x30);  // the later section wins
    EXPECT_EQ(Pages().pages[0], Padded(page, 0x20));
    EXPECT_TRUE(Pages().ended);
    EXPECT_EQ(status.texts,
              (std::vector<std::string>{"Downloading Loader code...", "Preparing to download ...",
                                        "Downloading page 1 of 1 from input DSP file ...",
                                        "Download finished"}));
    // One second between loader and pages, without processing messages.
    EXPECT_EQ(pump.pausedMs, 1000);
    EXPECT_FALSE(PageFilesLeft());
    EXPECT_EQ(CountRequests(0x02, 0x00), 1);
    EXPECT_EQ(CountRequests(0x02, 0x08), 1);
    EXPECT_EQ(CountRequests(0x02, 0x04), 2);
}

// Kind 3: the upper address half is the page, the lower half the word address inside it.
TEST_F(DspDownloadTest, Kind3PagesGoInPageOrderEachHoldingExactlyItsSections) {
    Start();
    const CoffSection p5 = Section(0x00050020, 32, 0, 4);
    const CoffSection p1a = Section(0x00010004, 150, 0, 5);
    const CoffSection p1b = Section(0x00010100, 20, 0, 6);
    const CoffSection p0 = Section(0x00000010, 100, 0, 7);
    const CoffSection p8 = Section(0x00080000, 64, 0, 8);           // no page file: dropped
    const CoffSection masked = Section(0x00010000, 64, 0x0001, 9);  // over page 1, filtered
    // What each page file must hold: its sections at twice their word address in the page,
    // zero bytes between them, nothing after the last.
    auto at = [](Bytes page, std::size_t offset, const Bytes& data) {
        if (page.size() < offset + data.size())
            page.resize(offset + data.size(), 0);
        std::copy(data.begin(), data.end(), page.begin() + static_cast<long>(offset));
        return page;
    };
    const Bytes page0 = at({}, 0x20, p0.data);
    const Bytes page1 = at(at({}, 0x08, p1a.data), 0x200, p1b.data);
    const Bytes page5 = at({}, 0x40, p5.data);
    std::vector<std::uintmax_t> sizesSeen;
    sink = [&](const std::string& text) {
        status.texts.push_back(text);
        if (text.rfind("Downloading page 1 of", 0) != 0)
            return;
        for (int i = 0; i < 9; ++i)
            sizesSeen.push_back(fs::file_size(dir / ("Page" + std::to_string(i))));
    };
    ASSERT_EQ(Run(Coff(3, {p5, p8, masked, p1a, p0, p1b}), 3), LinkResult::kSuccess);
    EXPECT_EQ(sizesSeen, (std::vector<std::uintmax_t>{page0.size(), page1.size(), 0, 0, 0,
                                                      page5.size(), 0, 0, 0}));
    ASSERT_EQ(Pages().pages.size(), 3u);
    EXPECT_EQ(Pages().pages[0], Padded(page0, 0x20));
    EXPECT_EQ(Pages().pages[1], Padded(page1, 0x20));
    EXPECT_EQ(Pages().pages[2], Padded(page5, 0x20));
    const std::vector<int> pageMaxima = {static_cast<int>(page0.size() / 2 + 128),
                                         static_cast<int>(page1.size() / 2 + 128),
                                         static_cast<int>(page5.size() / 2 + 128)};
    ASSERT_GE(bar.maxima.size(), 3u);
    EXPECT_EQ(std::vector<int>(bar.maxima.end() - 3, bar.maxima.end()), pageMaxima);
    EXPECT_TRUE(status.Has("Downloading page 1 of 3 from input DSP file ..."));
    EXPECT_TRUE(status.Has("Downloading page 3 of 3 from input DSP file ..."));
    EXPECT_FALSE(PageFilesLeft());
}

TEST_F(DspDownloadTest, SectionsOfMoreThan16000WordsAreCopiedInPieces) {
    Start();
    const CoffSection exact = Section(0, 16000, 0, 8);
    ASSERT_EQ(Run(Coff(2, {exact})), LinkResult::kSuccess);
    EXPECT_EQ(Pages().pages[0], Padded(exact.data, 0x20));

    const CoffSection longer = Section(0, 40001, 0, 9);
    Again();
    ASSERT_EQ(Run(Coff(2, {longer})), LinkResult::kSuccess);
    EXPECT_EQ(Pages().pages[0], Padded(longer.data, 0x20));
    EXPECT_EQ(bar.maxima.back(), 80002 / 2 + 128);
}

TEST_F(DspDownloadTest, AFileWithoutUsableSectionsExchangesOnly0200And0204) {
    Start();
    ASSERT_EQ(Run(Coff(2, {Section(0, 8, 0x0200)})), LinkResult::kSuccess);
    EXPECT_TRUE(Pages().pages.empty());
    EXPECT_EQ(CountRequests(0x02, 0x09), 2);  // the loader's pair only
    EXPECT_EQ(status.Last(), "Download finished");
}

TEST_F(DspDownloadTest, EmptySectionStillSendsItsPageAsOneFillerPair) {
    Start();
    ASSERT_EQ(Run(Coff(2, {Section(0, 0)}, false)), LinkResult::kSuccess);
    ASSERT_EQ(Pages().pages.size(), 1u);
    EXPECT_EQ(Pages().pages[0], Bytes(256, 0x20));
}

// ---------- Failures of the link ----------

TEST_F(DspDownloadTest, SilenceDuringTheLoaderTimesOut) {
    flashsim::Faults faults;
    faults.image = 0;
    faults.silentFromBlock = 1;
    Start(faults);
    EXPECT_EQ(Run(Coff(2, {Section(0, 8)})), LinkResult::kTimedOut);
    EXPECT_EQ(status.Last(), "DSP download timed out or canceled by user.");
    EXPECT_EQ(CountRequests(0x02, 0x00), 0);
}

TEST_F(DspDownloadTest, SilenceDuringAPageOnTheComponentIsACommunicationProblem) {
    flashsim::Faults faults;
    faults.silentFromBlock = 2;
    Start(faults, true);
    EXPECT_EQ(Run(Coff(2, {Section(0, 1000)})), LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Communication problem during DSP download.");
    EXPECT_FALSE(PageFilesLeft());
}

TEST_F(DspDownloadTest, AWrongPairSumIsNotSentAgain) {
    flashsim::Faults faults;
    faults.wrongSumAtPair = 0;
    Start(faults);
    const CoffSection s = Section(0, 128, 0, 3);
    EXPECT_EQ(Run(Coff(2, {s})), LinkResult::kSuccess);
    EXPECT_EQ(Pages().rejectedPairs, 1);
    EXPECT_EQ(Pages().resends, 0);
    EXPECT_EQ(Pages().pages[0], s.data);
}

// ---------- Failures of the files ----------

struct DamagedCase {
    const char* name;
    Bytes file;
    std::string text;
    std::size_t readable = std::string::npos;  // bytes of the file that can be read
};

Bytes WithSectionCount(Bytes file, std::int16_t count) {
    file[2] = static_cast<std::uint8_t>(count);
    file[3] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(count) >> 8);
    return file;
}

std::vector<DamagedCase> DamagedFiles() {
    const Bytes good = Coff(2, {Section(0, 8)});
    CoffSection outside = Section(0, 8);
    outside.rawOffset = 100000;
    CoffSection huge = Section(0, 0);
    huge.sizeWords = 0x7FFFFFFF;
    CoffSection far = Section(0xFFFFFFF0u, 8);
    CoffSection negative = Section(0, 0);
    negative.sizeWords = -2;
    const std::string p = "DSP file is damaged: ";
    return {
        {"ShortHeader", Bytes(21, 0), p + "its header lies outside the file."},
        {"NegativeSectionCount", WithSectionCount(good, -1),
         p + "its number of sections is negative."},
        {"TableOutside", WithSectionCount(good, 30),
         p + "its section table lies outside the file."},
        {"DataOutside", Coff(2, {Section(0, 4), outside}),
         p + "section 2 has data outside the file."},
        {"HugeSize", Coff(2, {huge}), p + "section 1 does not fit a DSP page."},
        {"FarAddress", Coff(2, {far}), p + "section 1 does not fit a DSP page."},
        {"NegativeSize", Coff(2, {negative}), p + "section 1 has a negative size."},
        {"UnreadableHeader", good, "Error reading the DSP file during DSP download.", 10},
    };
}

TEST_F(DspDownloadTest, DamagedOrUnreadableFilesAreRefusedBeforeAnythingIsSent) {
    for (const DamagedCase& c : DamagedFiles()) {
        SCOPED_TRACE(c.name);
        Start();
        status.texts.clear();
        FailingBuf buf(ToString(c.file), c.readable);
        std::istream in(&buf);
        EXPECT_EQ(Run(in), LinkResult::kCommProblem);
        EXPECT_EQ(status.texts, std::vector<std::string>{c.text});
        EXPECT_TRUE(radio->requests.empty());
        link.Close();
    }
}

TEST_F(DspDownloadTest, SectionsThatAreNeverCopiedAreNotExamined) {
    Start();
    CoffSection filteredBogus = Section(0, 0, 0x0100);
    filteredBogus.sizeWords = -5;
    filteredBogus.rawOffset = 0x7FFFFFFF;
    EXPECT_EQ(Run(Coff(2, {filteredBogus, Section(0, 8)})), LinkResult::kSuccess);
}

TEST_F(DspDownloadTest, AReadFailureOfTheDspFileIsReportedAndNotDownloaded) {
    Start();
    const Bytes file = Coff(2, {Section(0, 5000)});
    FailingBuf buf(ToString(file), 50 + 40 + 100);  // headers readable, section data not
    std::istream in(&buf);
    EXPECT_EQ(Run(in), LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Error reading the DSP file during DSP download.");
    EXPECT_EQ(CountRequests(0x02, 0x08), 0);  // no page was sent
    EXPECT_FALSE(PageFilesLeft());
}

TEST_F(DspDownloadTest, AnUnreadableLoaderIsRefusedBeforeAnythingIsSent) {
    Start();
    std::ifstream missing("/nonexistent/Loader.hex");
    std::istringstream in(ToString(Coff(2, {Section(0, 8)})));
    EXPECT_EQ(DownloadDsp(link, missing, in, 2, sink, dir, bar, clock), LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Error reading the DSP loader file during DSP download.");
    EXPECT_TRUE(radio->requests.empty());
}

TEST_F(DspDownloadTest, PageFilesThatCannotBeCreatedAreReportedBeforeThePagesStart) {
    Start();
    dir = dir / "missing" / "folder";
    EXPECT_EQ(Run(Coff(2, {Section(0, 8)})), LinkResult::kCommProblem);
    EXPECT_EQ(status.Last(), "Error writing the DSP page files during DSP download.");
    EXPECT_EQ(CountRequests(0x02, 0x00), 0);
}

// A full disk while the pages are split: the download ends with the page-file text and sends
// nothing after the page start, whether the write fails at once (a piece larger than the
// stream's buffer), on a later page, or only when the buffered pages are closed.
TEST_F(DspDownloadTest, PageFilesCutShortByAFullDiskSendNothing) {
    constexpr rlim_t kLimit = 4096;
    struct Case {
        const char* what;
        std::vector<CoffSection> sections;
        bool fits;
    };
    const Case cases[] = {
        {"a piece over the limit", {Section(0, 40001, 0, 1)}, false},
        {"a later page over it", {Section(0x10, 100, 0, 2), Section(0x00011000, 8, 0, 3)}, false},
        {"one byte pair over it, buffered", {Section(0, kLimit / 2 + 1, 0, 4)}, false},
        {"exactly the limit", {Section(0, kLimit / 2, 0, 5)}, true},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Again();
        const Bytes file = Coff(3, c.sections);
        LinkResult result;
        {
            const FileSizeLimit full(kLimit);
            result = Run(file, 3);
        }
        EXPECT_FALSE(PageFilesLeft());
        if (c.fits) {
            EXPECT_EQ(result, LinkResult::kSuccess);
            continue;
        }
        EXPECT_EQ(result, LinkResult::kCommProblem);
        EXPECT_EQ(status.Last(), "Error writing the DSP page files during DSP download.");
        ASSERT_FALSE(radio->requests.empty());
        EXPECT_EQ(radio->requests.back(), (Bytes{0x02, 0x00}));  // the page start, then nothing
        EXPECT_EQ(CountRequests(0x02, 0x00), 1);
    }
}

TEST_F(DspDownloadTest, PageFilesAreRecreatedEmptyAndGoInTheCallersDirectory) {
    // Leftovers of an earlier run must not leak into this one.
    for (int i = 0; i < 9; ++i) {
        std::ofstream old(dir / ("Page" + std::to_string(i)), std::ios::binary);
        old << std::string(1000, 'x');
    }
    Start();
    const CoffSection s = Section(0, 64, 0, 2);
    // Look into the directory while the page is sent.
    bool seen = false;
    sink = [&](const std::string& text) {
        if (text.rfind("Downloading page", 0) == 0)
            seen = fs::exists(dir / "Page0") && fs::exists(dir / "Page8") &&
                   fs::file_size(dir / "Page0") == s.data.size() &&
                   fs::file_size(dir / "Page1") == 0;
    };
    ASSERT_EQ(Run(Coff(2, {s})), LinkResult::kSuccess);
    EXPECT_TRUE(seen);
    EXPECT_EQ(Pages().pages[0], Padded(s.data, 0x20));
    EXPECT_FALSE(PageFilesLeft());
}

}  // namespace
