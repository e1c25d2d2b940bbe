#pragma once

#include <string>
#include <vector>

// Two --port arguments that reach one device would have two updates fight over one radio:
// found before anything starts. Each name is resolved as the update resolves it (COM names
// through portDir, else the default folder and table) and the devices compared by their
// device number (a character device) or inode, so that COM5, /dev/ttyUSB0 and a by-id link
// to it are one port. Empty when every port is its own; else the line that says which clash.
std::string RepeatedPort(const std::vector<std::string>& ports, const std::string& portDir);
