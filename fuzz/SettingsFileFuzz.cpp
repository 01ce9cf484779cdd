// Reading Sermida.ini with random contents, and writing it back.
//
// The input is the file. Checked:
//  - the five tokens are what the file's first line (at most 1023 bytes, up to
//    LF or NUL) holds in each position when that token is in its accepted set,
//    and the position's default otherwise; an over-long token keeps its place;
//  - saving the tokens writes exactly "port baud data stop parity" with the
//    parity word in GBK, and reading that back gives the same tokens;
//  - the tokens of any port settings (made from the input's first bytes) read
//    back as themselves when accepted, as the defaults when not;
//  - without a file nothing is read and the tokens are left as they were.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "common/Gbk.h"
#include "settings/PortOptions.h"
#include "settings/SettingsFile.h"

namespace {

struct Position {
    std::vector<std::string> accepted; // as the file holds them
    std::string fallback;              // as LoadSettingsFile gives it
};

const Position kPositions[5] = {
    {{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}, "COM1"},
    {{"2400", "4800", "7200", "8800", "9600", "14400", "19200", "38400", "56000", "57600",
      "115200"},
     "38400"},
    {{"5", "6", "7", "8"}, "8"},
    {{"1", "2"}, "1"},
    // 无, 奇校验, 偶校验 in GBK; the tokens carry them in UTF-8.
    {{"\xCE\xDE", "\xC6\xE6\xD0\xA3\xD1\xE9", "\xC5\xBC\xD0\xA3\xD1\xE9"}, "无"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The tokens a reader of the file's first line should come up with.
SettingsTokens Expected(std::string_view file) {
    std::string_view line = file.substr(0, 1023);
    line = line.substr(0, line.find('\n'));
    line = line.substr(0, line.find('\0'));
    std::string words[5];
    size_t count = 0;
    size_t i = 0;
    while (count < 5) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        std::string word;
        while (i < line.size() && !IsBlank(line[i]))
            word += line[i++];
        words[count++] = word;
    }
    std::string out[5];
    for (int p = 0; p < 5; ++p) {
        const Position& pos = kPositions[p];
        out[p] = pos.fallback;
        for (const std::string& ok : pos.accepted)
            if (words[p] == ok && words[p].size() <= 31)
                out[p] = p == 4 ? GbkToUtf8(ok) : ok;
    }
    return {out[0], out[1], out[2], out[3], out[4]};
}

std::string Show(const SettingsTokens& t) {
    return Escaped(t.port) + " " + Escaped(t.baud) + " " + Escaped(t.dataBits) + " " +
           Escaped(t.stopBits) + " " + Escaped(t.parity);
}

bool Same(const SettingsTokens& a, const SettingsTokens& b) {
    return a.port == b.port && a.baud == b.baud && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits && a.parity == b.parity;
}

SettingsTokens ReadBack() {
    SettingsTokens t;
    FUZZ_CHECK(LoadSettingsFile(t), "the file just written cannot be read");
    return t;
}

// A token that a saved file would hold: accepted, or the position's default.
std::string Kept(int p, const std::string& token) {
    const std::string onDisk = p == 4 ? Utf8ToGbk(token) : token;
    for (const std::string& ok : kPositions[p].accepted)
        if (onDisk == ok)
            return token;
    return kPositions[p].fallback;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("SERMIDA_HOME", (ScratchFolder() + "/home").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const std::string path = SettingsFilePath();

    ::unlink(path.c_str());
    SettingsTokens untouched{"a", "b", "c", "d", "e"};
    FUZZ_CHECK(!LoadSettingsFile(untouched), "read a file that is not there");
    FUZZ_CHECK(Same(untouched, {"a", "b", "c", "d", "e"}), "tokens changed without a file");

    WriteFile(path, file);
    SettingsTokens tokens;
    FUZZ_CHECK(LoadSettingsFile(tokens), "cannot read the file");
    const SettingsTokens expected = Expected(file);
    FUZZ_CHECK(Same(tokens, expected), "read " + Show(tokens) + " expected " + Show(expected));

    FUZZ_CHECK(SaveSettingsFile(tokens), "cannot save");
    const std::string saved = ReadFile(path);
    const std::string line = tokens.port + " " + tokens.baud + " " + tokens.dataBits + " " +
                             tokens.stopBits + " " + Utf8ToGbk(tokens.parity);
    FUZZ_CHECK(saved == line, "saved " + Escaped(saved));
    const SettingsTokens back = ReadBack();
    FUZZ_CHECK(Same(back, tokens), "read back " + Show(back) + " saved " + Show(tokens));

    // What a connection stores: any numbers the port object may hold.
    FuzzInput in(data, size);
    PortSettings s;
    s.portNumber = int32_t(in.Byte()) - 8;
    s.baudRate = int32_t(in.Word()) * (in.Byte() % 4 + 1);
    s.dataBits = in.Byte() % 12;
    s.stopBits = in.Byte() % 4;
    s.parity = "NOEF\0x"[in.Byte() % 6];
    const SettingsTokens stored = TokensOfSettings(s);
    FUZZ_CHECK(SaveSettingsFile(stored), "cannot save the settings' tokens");
    const SettingsTokens proposed = ReadBack();
    const SettingsTokens kept{Kept(0, stored.port), Kept(1, stored.baud), Kept(2, stored.dataBits),
                              Kept(3, stored.stopBits), Kept(4, stored.parity)};
    FUZZ_CHECK(Same(proposed, kept), "stored " + Show(stored) + " read " + Show(proposed));
    return 0;
}
