#include "app/cli/ReadCodeplugFile.h"

#include <memory>

#include "app/cli/FileIo.h"
#include "convert/CodeplugCheck.h"
#include "convert/RadioCodeplugConversion.h"
#include "transfer/TransferMessages.h"

bool ReadCodeplugFile(const std::string& file, std::vector<std::uint8_t>& codeplug,
                      std::string& error) {
    bool tooLong = false;
    if (!readSmallFile(file, kTransferImageBytes, codeplug, tooLong, error))
        return false;
    if (codeplug.empty()) {
        error = file + " is empty";
        return false;
    }
    if (codeplug.size() % 2 != 0) {
        error = file + " has an odd length; a codeplug is a whole number of 16-bit words";
        return false;
    }
    auto img = std::make_unique<CodeplugImage>();
    loadRadioBytes(*img, codeplug.data(), codeplug.size());
    const CodeplugCheck check = checkCodeplug(*img);
    if (!check.ok) {
        error = file + ": not a well-formed codeplug: " + check.reason;
        return false;
    }
    return true;
}
