#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/CodeplugImage.h"

// What becomes of a codeplug read from a radio whose firmware expects another format.
enum class CodeplugConversionResult : int {
    NotOffered = 1,  // the codeplug's or the radio's format is older than 5.8 (or unknown)
    SameFormat = 2,  // already in the radio's format; nothing to write
    Converted = 3,   // converted; the buffer holds the new image and newLength its size
    Invalid = 4,     // the data read is no well-formed codeplug
    DoesNotFit = 6,  // the converted image would not fit the 32768-byte buffer
    Failed = 7,      // the conversion did not give a well-formed image
};

struct CodeplugConversion {
    CodeplugConversionResult result = CodeplugConversionResult::Invalid;
    uint8_t codeplugIndex = 255;  // format of the codeplug read
    uint8_t radioIndex = 255;     // format the radio expects
    int32_t sizeChange = 0;       // words added (negative: removed)
    std::size_t newLength = 0;    // bytes to write back; the input length unless converted
    std::string reason;           // one line for a technician when the result is an error
};

// Converts the codeplug as it travels from the radio (every word high byte first, a whole
// number of words, at most 32768 bytes) into the format radioMajor.radioMinor. buffer must
// hold CodeplugImage::kBytes bytes; on Converted it holds the new image in radio byte order
// and newLength says how much of it to write. On any other result the buffer is unchanged.
CodeplugConversion convertRadioCodeplug(uint8_t* buffer, std::size_t length, int radioMajor,
                                        int radioMinor);

// The image as host-order words, and back to radio byte order.
void loadRadioBytes(CodeplugImage& img, const uint8_t* bytes, std::size_t length);
void storeRadioBytes(const CodeplugImage& img, uint8_t* bytes, std::size_t length);

// "5.10" for a version index; "unknown" for any other.
std::string versionText(uint8_t versionIndex);
