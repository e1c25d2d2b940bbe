#include "link/Protocol.h"

std::uint16_t WordChecksum(const std::uint8_t* data, int length) {
    std::uint16_t sum = 0;
    for (int i = 0; i < length; i += 2) {
        // Never read past length even when a caller passes an odd count.
        unsigned low = (i + 1 < length) ? data[i + 1] : 0;
        sum = static_cast<std::uint16_t>(sum + data[i] * 256u + low);
    }
    return sum;
}

int DeviceBaudIndex(int baud) {
    switch (baud) {
        case 9600:
            return 12;
        case 38400:
            return 15;
        case 57600:
            return 17;
        case 115200:
            return 19;
        default:
            return 14;
    }
}

std::uint8_t RateChangeCode(int baud) {
    switch (baud) {
        case 9600:
            return 0;
        case 38400:
            return 3;
        case 57600:
            return 4;
        case 115200:
            return 5;
        default:
            return 1;
    }
}

int RateFromChangeCode(std::uint8_t code) {
    switch (code) {
        case 0:
            return 9600;
        case 1:
            return 19200;
        case 3:
            return 38400;
        case 4:
            return 57600;
        case 5:
            return 115200;
        default:
            return 0;
    }
}
