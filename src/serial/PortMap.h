#pragma once
#include <string>

// Where COMn lives on this machine: $SERMIDA_COMn, else the line "COMn=PATH"
// of Sermida.ports in the settings folder, else /dev/ttyS<n-1>.
std::string DevicePathOfPort(int portNumber);
