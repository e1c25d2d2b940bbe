#pragma once

#include <string>

#include "app/package/PackageAttributes.h"

// A package folder named with --package, checked before anything is sent to the radio: its
// attributes record is whole and names a known radio and upgrade, and every chunk of the
// image sets the update can use is there. False with a line for the user.
bool CheckPackageFolder(const std::string& folder, ResourceAttributes& attributes,
                        std::string& error);
