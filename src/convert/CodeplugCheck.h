#pragma once

#include <string>

#include "convert/CodeplugImage.h"

// The structural check of a codeplug image.
struct CodeplugCheck {
    bool ok = true;
    int rule = 0;        // the failed rule, 1..5, or 0 when the image passed
    int position = -1;   // the word where the failure was found, when there is one
    std::string reason;  // one line, for a technician
};

CodeplugCheck checkCodeplug(const CodeplugImage& img);
bool validateCodeplug(const CodeplugImage& img);

// Further requirements before an image may be converted: every system number from 1 to the
// system count has its block, and the tables of every block lie inside the block. The tables
// are read in the table-count layout of the image's own format.
CodeplugCheck checkConvertible(const CodeplugImage& img);

// Switches word 2 of every block between the 4-bit (widen false) and 5-bit table-count layout.
void setTableCountWidth(CodeplugImage& img, bool widen);
