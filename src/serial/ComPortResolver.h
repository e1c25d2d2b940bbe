#pragma once

// Maps COM port names to Linux device paths.
//
// COMn resolves first through the port directory, a folder of symlinks named COM1, COM2, ...
// (a setting: the application, the command line and tests point it at a folder of their own),
// then through a fixed default table:
//   COM1  to COM4    /dev/ttyS0   to /dev/ttyS3     (the PC's own serial ports)
//   COM5  to COM36   /dev/ttyUSB0 to /dev/ttyUSB31  (USB serial adapters)
//   COM37 to COM64   /dev/ttyACM0 to /dev/ttyACM27  (USB modem-class devices)
// The table is fixed, so COMn names the same device whatever else is plugged in. A COMn
// entry in the port directory wins even when its link is dangling, so that the user hears
// about their own link rather than silently getting the default device.

#include <string>

#include "serial/OpenFailure.h"

namespace serial {

struct Resolution {
    NameSource source = NameSource::kPath;
    int comNumber = 0;       // n of a COMn name, 0 for a device path
    std::string path;        // the path to open; empty when unmapped
    std::string linkTarget;  // the target of a port-directory link, as the link reads
};

class ComPortResolver {
  public:
    static constexpr int kMaxComNumber = 64;  // the ports the window scans

    ComPortResolver();
    explicit ComPortResolver(std::string portDirectory);

    // The folder of COMn links; empty for none.
    void SetPortDirectory(std::string directory) { portDirectory = std::move(directory); }
    const std::string& PortDirectory() const { return portDirectory; }

    // The port directory used by default: ~/.config/quenta/ports, with the home folder taken
    // from the user's account entry.
    static std::string DefaultPortDirectory();

    // The default-table device of COM n, empty when the table has none.
    static std::string DefaultDevice(int comNumber);

    // n for "COMn", "\\.\COMn" (any letter case, n >= 1, decimal without sign); 0 otherwise.
    static int ParseComName(const std::string& name);

    // Resolves COM number n.
    Resolution ResolveCom(int comNumber) const;
    // Resolves a port name: a COM name as ResolveCom, anything else as a device path.
    Resolution Resolve(const std::string& name) const;

  private:
    std::string portDirectory;
};

}  // namespace serial
