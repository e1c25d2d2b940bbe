#pragma once

#include <string>

// The home folder of the user the program runs as: HOME when it names an absolute folder, as
// every desktop program reads it, else the password database's entry, so that an empty,
// relative or unset HOME (a service, `env -i`) never puts backups, traces or the port folder
// under the working folder. Empty when neither names an absolute folder.
std::string HomeFolder();
