#pragma once
#include <cstdint>

// The line parameters of a port. parity is 'N', 'O' or 'E' once configured;
// 'F' only marks a port that was never configured.
struct PortSettings {
    int32_t portNumber = -1; // 1..9 for COM1..COM9
    int32_t baudRate = 0;
    uint8_t dataBits = 0; // 5..8
    uint8_t stopBits = 0; // 1 or 2
    char parity = 'F';
    // The controller's CTS holds our sending, in the driver (CRTSCTS).
    bool rtsCts = false;
};
