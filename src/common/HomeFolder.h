#pragma once

#include <string>

// The home folder of the user the program runs as, from the password database, so that every
// per-user folder (codeplug backups, the port folder) is in one place whatever the environment
// says: an empty or unset HOME (a service, `env -i`) must not put backups under the working
// folder. HOME is used only when the database has no entry for the user (a container's
// arbitrary uid); empty when neither names an absolute folder.
std::string HomeFolder();
