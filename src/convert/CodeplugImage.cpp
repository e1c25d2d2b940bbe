#include "convert/CodeplugImage.h"
