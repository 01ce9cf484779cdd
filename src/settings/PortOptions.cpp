#include "settings/PortOptions.h"

namespace port_options {

std::string_view ParityWord(char parity) {
    switch (parity) {
    case 'N':
        return kParityList[0];
    case 'O':
        return kParityList[1];
    case 'E':
        return kParityList[2];
    default:
        return "错误";
    }
}

} // namespace port_options
