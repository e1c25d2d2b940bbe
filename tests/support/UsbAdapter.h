#pragma once

// A USB serial adapter as the serial layer finds it: an FTDI FT232R on ttyUSB0, its device node
// given (a pseudo-terminal's slave stands in for the real one).
#include <string>

#include "serial/SerialDevice.h"

namespace testsupport {

inline serial::SerialDevice FtdiAdapter(const std::string& node) {
    serial::SerialDevice d;
    d.name = "ttyUSB0";
    d.node = node;
    d.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    d.driver = "ftdi_sio";
    d.vendorId = "0403";
    d.productId = "6001";
    d.manufacturer = "FTDI";
    d.product = "FT232R USB UART";
    d.serialNumber = "A1B2C3";
    return d;
}

}  // namespace testsupport
