// The usual line settings and program framing of common controllers. Each
// starts from the classic rules and changes only what its controller needs; a
// shop copies one and checks it against its own machine's parameters.
#include <string>
#include <vector>

#include "machine/MachineProfile.h"

namespace {

MachineProfile Make(const char* name, const char* comment, PortSettings line) {
    MachineProfile p;
    p.name = name;
    p.comment = comment;
    p.preset = true;
    p.line = line;
    // A punched tape's NUL leader, rub-outs and end codes are not program.
    p.receive.stripControls = true;
    // A controller that is drip-fed holds the line while it works; ten
    // minutes without a byte moving is worth a word to the operator.
    p.wire.stallLimitSeconds = 600;
    return p;
}

std::vector<MachineProfile> MakePresets() {
    std::vector<MachineProfile> all;

    MachineProfile classic = Make(
        "classic", "经典 (Sermida.ini)：整行发送，行尾 CR LF，分号后为注释", {1, 38400, 8, 1, 'N'});
    classic.receive = {}; // exactly what the program always took in
    classic.wire.stallLimitSeconds = 0;
    all.push_back(classic);

    // ISO code: 7 data bits, even parity, 2 stop bits; stops reading within
    // ten characters of its DC3; end of block LF; the program between '%'.
    MachineProfile fanuc =
        Make("fanuc-iso", "Fanuc ISO：7E2，XOFF 后至多 10 个字符，行尾 LF", {1, 4800, 7, 2, 'E'});
    fanuc.xoffCharacters = 10;
    fanuc.wire.endOfBlock = WireRules::EndOfBlock::Lf;
    fanuc.wire.skipBlankLines = true;
    fanuc.wire.leader = "%\n";
    fanuc.wire.trailer = "%\n";
    // It punches '%' and an end of block first, the program, then '%'.
    fanuc.receive.start = "%\n";
    fanuc.receive.end = "%";
    all.push_back(fanuc);

    // The same controller set to end each block with LF CR CR (parameter 0100#3).
    MachineProfile fanucCr = fanuc;
    fanucCr.name = "fanuc-iso-lfcrcr";
    fanucCr.comment = "Fanuc ISO：行尾 LF CR CR（参数 0100#3）";
    fanucCr.wire.endOfBlock = WireRules::EndOfBlock::LfCrCr;
    fanucCr.wire.leader = "%\n\r\r";
    fanucCr.wire.trailer = "%\n\r\r";
    all.push_back(fanucCr);

    // Haas, setting 14 on XON/XOFF: DC2 before and DC4 after the program.
    MachineProfile haas =
        Make("haas", "Haas：8N1，XON/XOFF，程序前 DC2、程序后 DC4", {1, 9600, 8, 1, 'N'});
    haas.wire.endOfBlock = WireRules::EndOfBlock::CrLf;
    haas.wire.leader = "\x12%\r\n";
    haas.wire.trailer = "%\r\n\x14";
    all.push_back(haas);

    // Sinumerik 840D text programs: 9600 7E2, RTS/CTS, leader and trailer.
    MachineProfile sinumerik =
        Make("sinumerik-840d", "Sinumerik 840D：9600 7E2，RTS/CTS，行尾 LF", {1, 9600, 7, 2, 'E'});
    sinumerik.flow = MachineProfile::Flow::RtsCts;
    sinumerik.wire.endOfBlock = WireRules::EndOfBlock::Lf;
    sinumerik.wire.leader = "%\n";
    sinumerik.wire.trailer = "\n";
    all.push_back(sinumerik);

    // Heidenhain: 7 data bits, a leader of NULs, CR LF lines, ETX at the end.
    MachineProfile heidenhain =
        Make("heidenhain", "Heidenhain：7E1，50 个 NUL 引导，行尾 CR LF，结尾 ETX",
             {1, 9600, 7, 1, 'E'});
    heidenhain.wire.leader = std::string(50, '\0');
    heidenhain.wire.trailer = "\x03";
    heidenhain.receive.end = "\x03";
    all.push_back(heidenhain);

    // Mazak: 8N2, XON/XOFF.
    MachineProfile mazak = Make("mazak", "Mazak：8N2，XON/XOFF，行尾 CR LF", {1, 9600, 8, 2, 'N'});
    mazak.wire.leader = "%\r\n";
    mazak.wire.trailer = "%\r\n";
    all.push_back(mazak);

    // Okuma: sends DC3 every 252 characters while reading, so it must stop
    // within a few.
    MachineProfile okuma = Make("okuma", "Okuma：7E2，每 252 个字符发 DC3，XOFF 后至多 10 个字符",
                                {1, 4800, 7, 2, 'E'});
    okuma.xoffCharacters = 10;
    okuma.wire.leader = "%\r\n";
    okuma.wire.trailer = "%\r\n";
    all.push_back(okuma);
    return all;
}

} // namespace

const std::vector<MachineProfile>& Presets() {
    static const std::vector<MachineProfile> presets = MakePresets();
    return presets;
}

const MachineProfile* FindPreset(const std::string& name) {
    for (const MachineProfile& p : Presets())
        if (p.name == name)
            return &p;
    return nullptr;
}
