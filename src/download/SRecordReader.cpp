#include "download/SRecordReader.h"

#include <streambuf>

bool SRecordLineReader::Next() {
    length_ = 0;
    endsLine_ = false;
    std::streambuf* source = in_.rdbuf();
    if (source == nullptr) {
        return false;
    }
    using Traits = std::streambuf::traits_type;
    bool tookAny = false;
    // Characters taken so far, the line end included, never more than the buffer allows.
    std::size_t taken = 0;
    while (taken < kMaxPieceChars) {
        const Traits::int_type c = source->sbumpc();
        if (Traits::eq_int_type(c, Traits::eof())) {
            in_.setstate(std::ios::eofbit);
            break;
        }
        tookAny = true;
        ++taken;
        const char ch = Traits::to_char_type(c);
        if (ch == '\n') {
            endsLine_ = true;
            break;
        }
        if (ch == '\r' && Traits::eq_int_type(source->sgetc(), Traits::to_int_type('\n'))) {
            source->sbumpc();  // CR LF is one line end
            endsLine_ = true;
            break;
        }
        buffer_[length_++] = ch;
    }
    return tookAny;
}

bool SRecordReader::NextRecord(int& progressWeight) {
    nextPosition_ = 0;
    dataCharacters_ = 0;
    while (!finished_) {
        if (!lines_.Next()) {
            finished_ = true;
            break;
        }
        const std::string_view line = lines_.Piece();
        int dataBytes = 0;
        DataRecordLayout layout{};
        if (kind_ == Kind::kDspLoader) {
            if (line.size() >= 2 && line[0] == 'S' && line[1] == '9') {
                finished_ = true;
                endRecordSeen_ = true;
                break;
            }
            layout = kDspLoaderLayout;
            dataBytes = DataByteCountFor(line, layout.addressBytes);
        } else {
            if (IsEndRecord(line)) {
                finished_ = true;
                endRecordSeen_ = true;
                break;
            }
            const int type = ClassifyRecord(line);
            if (type == kRecordS0 || type == kRecordOther) {
                continue;
            }
            layout = kDataRecordLayouts[type];
            dataBytes = DataByteCount(line);
        }
        ++records_;
        if (!RecordFitsLine(line, layout.dataStart, dataBytes)) {
            ++shortRecords_;
        }
        dataStart_ = static_cast<std::size_t>(layout.dataStart);
        dataCharacters_ = dataBytes > 0 ? static_cast<std::size_t>(dataBytes) * 2 : 0;
        progressWeight = layout.progressWeight;
        return true;
    }
    return false;
}

bool SRecordReader::NextWord(std::uint16_t& word) {
    if (nextPosition_ >= dataCharacters_) {
        return false;
    }
    word = HexWord(lines_.Piece(), dataStart_ + nextPosition_);
    nextPosition_ += 4;
    return true;
}
