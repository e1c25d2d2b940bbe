#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

// The radio's codeplug and how the radio behaves while it is read out or written back.
struct CodeplugScenario {
    using Bytes = std::vector<std::uint8_t>;

    // The codeplug as it travels (every word high byte first). Empty: a generated one.
    Bytes image;
    int generateFormat = 4;  // version index of the generated codeplug: 3, 4 or 5
    std::uint32_t generateSeed = 1;

    std::string password;         // asked for when not empty
    bool refusePassword = false;  // asks again after every reply, never grants
    int reportEvery = 2;          // a block-sum report after every n blocks written
    int wrongSumAtReport = -1;    // that report (0 first) is off by one
    int silentAtBlock = -1;       // answers nothing once this block (0 first) is due
    int otherGroupAtBlock = -1;   // sends a message of another group in place of that block
    // The first write that reaches this word (0 first) stores it with its lowest bit flipped,
    // as a weak memory cell would: the block sums were right, only a read-back shows it.
    int wrongWordAt = -1;

    // The codeplug format that the 04 1C query reports once an application image has been
    // flashed; empty: the format stays.
    Bytes formatAfterUpdate;
};

// Reads the "codeplug" object of a scenario; "file" loads the image from a file.
bool ParseCodeplugScenario(const nlohmann::json& j, CodeplugScenario& out, std::string& error);

// Reads a whole regular file of at most maxBytes into bytes. False with a one-line reason when
// the file is missing, a folder or another kind of file, unreadable, or longer than maxBytes.
bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& error);
