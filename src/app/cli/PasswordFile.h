#pragma once

#include <string>

#include "app/cli/TerminalView.h"

// A password given in a file instead of on the terminal (a run without one): the first line of
// path, its line end, blanks and tabs left to whoever compares it. False with a line for the
// user when the file cannot be read, is empty or holds no text.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// --codeplug-password-file FILE: the answer when the radio asks for its codeplug password,
// trimmed of blanks and the line end. False with a line for the user as above.
bool UseCodeplugPasswordFile(const std::string& path, TerminalView::Options& options,
                             std::string& error);
