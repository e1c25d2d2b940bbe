#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string_view>

#include "download/SRecord.h"

// Reads a text stream the way a 300-character line buffer does: one read takes at most 299
// characters up to and including the line end, so a longer line arrives in several pieces and
// each piece is examined as a line of its own. A line end is LF, or CR LF (taken as one
// character, as a text-mode stream gives it). Only the current piece is held; nothing beyond
// it is consumed from the stream.
class SRecordLineReader {
  public:
    static constexpr std::size_t kBufferChars = 300;
    static constexpr std::size_t kMaxPieceChars = kBufferChars - 1;  // line end included

    explicit SRecordLineReader(std::istream& in) : in_(in) {}

    // Reads the next piece. False when the stream has nothing more (then Piece() is empty).
    // A read error of the stream ends it like the end of the stream.
    bool Next();

    // The current piece without its line end.
    std::string_view Piece() const { return {buffer_.data(), length_}; }
    // True when the current piece ended with a line end (false for a cut piece and for the
    // last piece of a stream without a final line end).
    bool PieceEndsLine() const { return endsLine_; }

  private:
    std::istream& in_;
    std::array<char, kBufferChars> buffer_{};
    std::size_t length_ = 0;
    bool endsLine_ = false;
};

// Turns an S-record image into the stream of 16-bit data words that the downloads send, one
// record and one word at a time, reading a line only when the words of the previous one have
// been asked for. The caller drives it and can stop between any two calls (for example when
// its status is no longer success):
//
//     SRecordReader reader(stream, SRecordReader::Kind::kCodeImage);
//     int weight = 0;
//     while (ok && reader.NextRecord(weight)) {
//         progress += weight;
//         std::uint16_t word = 0;
//         while (ok && reader.NextWord(word)) AppendWord(word);
//     }
//
// Code image (loader, boot, application): reading stops at an end record (S9 or S7) or at the
// end of the stream; S0 headers and lines of any other type, including empty lines and the
// later pieces of a long line, are skipped; S1, S2 and S3 records deliver their words with the
// type's progress weight. The data of all records is one contiguous stream in file order.
//
// DSP loader image: reading stops at a line starting with "S9" or at the end of the stream;
// every other line is taken as an S3 record (data from character 12, count minus 5 data bytes,
// weight 4), whatever its first characters.
//
// Words run over the record's data characters four at a time; a record with an odd number of
// data bytes gives a last word whose high byte comes from the two characters after the data
// (the checksum). Characters a record asks for beyond its line read as zero digits (HexWord);
// such records are counted by ShortRecords().
class SRecordReader {
  public:
    enum class Kind { kCodeImage, kDspLoader };

    SRecordReader(std::istream& in, Kind kind) : lines_(in), kind_(kind) {}

    // Advances to the next data record and gives its progress weight. False at the end of the
    // image (an end record or the end of the stream), and on every call after that. Words of
    // the previous record that were not asked for are dropped.
    bool NextRecord(int& progressWeight);

    // The next word of the current record; false when the record has no more.
    bool NextWord(std::uint16_t& word);

    // True when reading stopped at an end record (false: the stream ran out first, or reading
    // has not reached the end yet).
    bool EndRecordSeen() const { return endRecordSeen_; }
    // Number of data records so far whose count asked for characters beyond their line.
    int ShortRecords() const { return shortRecords_; }
    // Number of data records delivered so far.
    int Records() const { return records_; }
    // The current line (piece), without its line end.
    std::string_view CurrentLine() const { return lines_.Piece(); }

  private:
    SRecordLineReader lines_;
    Kind kind_;
    bool finished_ = false;
    bool endRecordSeen_ = false;
    int records_ = 0;
    int shortRecords_ = 0;
    std::size_t dataStart_ = 0;
    std::size_t nextPosition_ = 0;  // offset into the data characters of the next word
    std::size_t dataCharacters_ = 0;
};
