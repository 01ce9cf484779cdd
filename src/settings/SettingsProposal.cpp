#include "settings/SettingsProposal.h"

#include <algorithm>
#include <cstdlib>

#include "settings/PortOptions.h"

namespace {

using namespace port_options;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool BeginsWithIgnoringCase(std::string_view entry, std::string_view text) {
    if (entry.size() < text.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (LowerAscii(entry[i]) != LowerAscii(text[i]))
            return false;
    return true;
}

template <size_t N>
std::vector<std::string_view> AsVector(const std::array<std::string_view, N>& a) {
    return {a.begin(), a.end()};
}

// Index within a list of N entries, or -1 when out of range.
template <size_t N> int IndexOr(int index, const std::array<std::string_view, N>&) {
    return index >= 0 && index < int(N) ? index : -1;
}

} // namespace

DialogProposal ProposeSelections(const PortSettings& v, const SettingsTokens* file) {
    DialogProposal p;
    if (v.portNumber >= 1 && v.portNumber <= 9)
        p.port = "COM" + std::to_string(v.portNumber);
    else
        p.port = file ? file->port : std::string(kDefaultPort);

    if (std::find(kAcceptedBaudRates.begin(), kAcceptedBaudRates.end(), v.baudRate) !=
        kAcceptedBaudRates.end())
        p.baud = std::to_string(v.baudRate);
    else
        p.baud = file ? file->baud : std::string(kDefaultBaud);

    if (v.dataBits >= 5 && v.dataBits <= 8)
        p.dataBits = std::to_string(v.dataBits);
    else
        p.dataBits = file ? file->dataBits : std::string(kDefaultDataBits);

    if (v.stopBits == 1 || v.stopBits == 2)
        p.stopBits = std::to_string(v.stopBits);
    else
        p.stopBits = file ? file->stopBits : std::string(kDefaultStopBits);

    if (v.parity == 'N' || v.parity == 'O' || v.parity == 'E')
        p.parity = ParityWord(v.parity);
    else
        p.parity = file ? file->parity : std::string(kDefaultParity);
    return p;
}

int SelectStringIndex(const std::vector<std::string_view>& list, std::string_view text) {
    for (size_t i = 0; i < list.size(); ++i)
        if (BeginsWithIgnoringCase(list[i], text))
            return int(i);
    return -1;
}

DialogSelection SelectionOfProposal(const DialogProposal& p) {
    DialogSelection s;
    s.port = SelectStringIndex(AsVector(kPortList), p.port);
    s.baud = SelectStringIndex(AsVector(kBaudList), p.baud);
    s.dataBits = SelectStringIndex(AsVector(kDataBitsList), p.dataBits);
    s.stopBits = SelectStringIndex(AsVector(kStopBitsList), p.stopBits);
    s.parity = SelectStringIndex(AsVector(kParityList), p.parity);
    return s;
}

PortSettings SettingsOfChoice(const DialogChoice& c) {
    PortSettings s;
    const int port = IndexOr(c.portIndex, kPortList);
    s.portNumber = port < 0 ? 1 : port + 1;
    const long baud = std::strtol(c.baudText.c_str(), nullptr, 10);
    s.baudRate = baud > 0 && baud <= 0x7FFFFFFF ? int32_t(baud) : kDefaultBaudRate;
    const int data = IndexOr(c.dataBitsIndex, kDataBitsList);
    s.dataBits = uint8_t(data < 0 ? 8 : data + 5);
    const int stop = IndexOr(c.stopBitsIndex, kStopBitsList);
    s.stopBits = uint8_t(stop < 0 ? 1 : stop + 1);
    static constexpr char kParity[] = {'N', 'O', 'E'};
    const int parity = IndexOr(c.parityIndex, kParityList);
    s.parity = parity < 0 ? 'N' : kParity[parity];
    return s;
}
