#pragma once

#include <string>

// text as one word of a POSIX shell command line: as it is when every character is safe
// (letters, digits and - _ . / : , + = @ %), else in single quotes with each ' written '\''.
std::string ShellQuote(const std::string& text);
