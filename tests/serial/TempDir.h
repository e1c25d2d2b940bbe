#pragma once

// The guard lives with the other shared test helpers; kept here for tests that look for it
// beside the serial tests.
#include "../support/TempDir.h"
