#pragma once

#include <string>
#include <vector>

// quenta update with several --port: one child quenta per port, at once.
struct SeveralRadiosOptions {
    std::vector<std::string> ports;
    std::string portDir;
    std::string packageDir;
    std::string codeplugPasswordFile;  // handed to each radio's update by name
    std::string password;              // asked on the terminal when not given
    bool passwordGiven = false;
    bool boot = false;
    bool assumeYes = false;
    bool json = false;
};

int UpdateSeveralRadios(const SeveralRadiosOptions& options);
