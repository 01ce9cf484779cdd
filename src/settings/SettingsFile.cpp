#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "common/AtomicFile.h"
#include "common/Gbk.h"
#include "common/MessageSink.h"
#include "common/SettingsFolder.h"
#include "settings/PortOptions.h"

namespace {

using namespace port_options;

// The file format's own limits: a line of at most 1023 bytes, tokens of at most
// 31 bytes.
constexpr size_t kMaxLine = 1023;
constexpr size_t kMaxToken = 31;

// GBK spellings of the parity words as they are stored on disk.
constexpr std::string_view kGbkNone = "\xCE\xDE";                 // 无
constexpr std::string_view kGbkOdd = "\xC6\xE6\xD0\xA3\xD1\xE9";  // 奇校验
constexpr std::string_view kGbkEven = "\xC5\xBC\xD0\xA3\xD1\xE9"; // 偶校验

template <size_t N>
bool Listed(const std::array<std::string_view, N>& list, std::string_view token) {
    return std::find(list.begin(), list.end(), token) != list.end();
}

bool AcceptedBaud(std::string_view token) {
    for (int rate : kAcceptedBaudRates)
        if (token == std::to_string(rate))
            return true;
    return false;
}

// Reads up to the first line end, at most kMaxLine bytes. A NUL ends the text,
// as it ends any line a C program reads.
bool ReadFirstLine(const std::string& path, std::string& line) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[kMaxLine];
    size_t used = 0;
    bool ok = true;
    while (used < sizeof buf) {
        ssize_t n = ::read(fd, buf + used, sizeof buf - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        used += size_t(n);
        if (std::find(buf, buf + used, '\n') != buf + used)
            break;
    }
    ::close(fd);
    if (!ok)
        return false;
    std::string_view text(buf, used);
    text = text.substr(0, std::min(text.find('\n'), text.find('\0')));
    line.assign(text);
    return true;
}

} // namespace

std::string SettingsFilePath() {
    return SettingsFolder() + "/Sermida.ini";
}

bool LoadSettingsFile(SettingsTokens& tokens) {
    std::string line;
    if (!ReadFirstLine(SettingsFilePath(), line))
        return false;

    std::string found[5];
    size_t count = 0;
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    size_t at = line.find_first_not_of(kBlanks);
    while (at != std::string::npos && count < 5) {
        size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        // An over-long token keeps its position, so the later ones stay where
        // they belong; it is simply not accepted.
        found[count++] = end - at > kMaxToken ? std::string() : line.substr(at, end - at);
        at = line.find_first_not_of(kBlanks, end);
    }

    tokens.port = Listed(kPortList, found[0]) ? found[0] : std::string(kDefaultPort);
    tokens.baud = AcceptedBaud(found[1]) ? found[1] : std::string(kDefaultBaud);
    tokens.dataBits = Listed(kDataBitsList, found[2]) ? found[2] : std::string(kDefaultDataBits);
    tokens.stopBits = Listed(kStopBitsList, found[3]) ? found[3] : std::string(kDefaultStopBits);
    if (found[4] == kGbkEven)
        tokens.parity = kParityList[2];
    else if (found[4] == kGbkOdd)
        tokens.parity = kParityList[1];
    else if (found[4] == kGbkNone)
        tokens.parity = kParityList[0];
    else
        tokens.parity = kDefaultParity;
    return true;
}

bool SaveSettingsFile(const SettingsTokens& tokens) {
    const std::string line = tokens.port + " " + tokens.baud + " " + tokens.dataBits + " " +
                             tokens.stopBits + " " + Utf8ToGbk(tokens.parity);
    AtomicFile file;
    if (!file.Open(SettingsFilePath()))
        return false;
    if (!file.Write(line))
        return false; // the writer removes its temporary file; the old one stays
    return file.Commit();
}

SettingsTokens TokensOfSettings(const PortSettings& s) {
    SettingsTokens t;
    t.port = Format("COM%d", s.portNumber);
    t.baud = Format("%ld", static_cast<long>(s.baudRate));
    t.dataBits = Format("%d", s.dataBits);
    t.stopBits = Format("%d", s.stopBits);
    t.parity = ParityWord(s.parity);
    return t;
}
