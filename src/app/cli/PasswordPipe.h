#pragma once

#include <string>

// The password handed from one quenta to another through a pipe: never on a command line or
// in the environment, where other users' ps and /proc would show it.

// N of --password-fd N: a descriptor number (0 to 1023).
bool ParseDescriptor(const std::string& text, int& fd);

// The first line of what fd holds, read to its end (at most 4096 bytes); fd is closed. False
// with a line for the user.
bool ReadPasswordFromDescriptor(int fd, std::string& password, std::string& error);

// A pipe already holding password and a line end, its write end closed: the read end (close
// on exec; a child gets it by dup2), or -1 with error set.
int PasswordPipe(const std::string& password, std::string& error);
