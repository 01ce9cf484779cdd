#include "cli/VcncControllerModel.h"

#include "serial/LinuxTty.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kDescribed = 8;

std::string Visible(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "LF ";
        else if (c == '\r')
            out += "CR ";
        else if (b < 0x20 || b >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X ", b);
            out += hex;
        } else {
            out += c;
            out += ' ';
        }
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

// Each run of CR and LF must be made of whole ends of block, any of the
// '|'-separated ones.
bool WholeEnds(std::string_view run, std::string_view ends) {
    std::vector<std::string_view> each;
    for (size_t at = 0;;) {
        const size_t bar = ends.find('|', at);
        each.push_back(ends.substr(at, bar - at));
        if (bar == std::string_view::npos)
            break;
        at = bar + 1;
    }
    for (size_t i = 0; i < run.size();) {
        size_t step = 0;
        for (const std::string_view e : each)
            if (!e.empty() && run.substr(i, e.size()) == e)
                step = std::max(step, e.size());
        if (step == 0)
            return false;
        i += step;
    }
    return true;
}

} // namespace

const std::vector<ControllerSpec>& ControllerSpecs() {
    // From the controllers' manuals: ISO code is 7 data bits with even parity;
    // Fanuc and Okuma stop reading within 10 characters of their DC3, and an
    // Okuma holds after every 252 characters it reads.
    static const std::vector<ControllerSpec> specs = {
        {"fanuc", "Fanuc, ISO code, end of block LF", 7, 'E', 2, false, 256, 10, "\n", "%\n", "%"},
        {"fanuc-lfcrcr", "Fanuc, ISO code, end of block LF CR CR", 7, 'E', 2, false, 256, 10,
         "\n\r\r", "%\n\r\r", "%"},
        {"haas", "Haas, DC2 before and DC4 after the program", 8, 'N', 1, false, 1024, 128,
         "\n|\r\n", "\x12%", "%\x14"},
        {"sinumerik", "Sinumerik 840D, 7E2 with RTS/CTS, end of block LF", 7, 'E', 2, true, 1024,
         128, "\n", "%\n", ""},
        {"heidenhain", "Heidenhain, 7E1, CR LF, ETX at the end", 7, 'E', 1, false, 1024, 128,
         "\r\n", "", "\x03"},
        {"mazak", "Mazak, 8N2, CR LF", 8, 'N', 2, false, 1024, 128, "\r\n", "%\r\n", "%"},
        {"okuma", "Okuma, 7E2, CR LF, DC3 within 10 characters", 7, 'E', 2, false, 256, 10, "\r\n",
         "%\r\n", "%", 252},
    };
    return specs;
}

const ControllerSpec* FindControllerSpec(std::string_view name) {
    for (const ControllerSpec& s : ControllerSpecs())
        if (name == s.name)
            return &s;
    return nullptr;
}

void ControllerModel::Violation(std::string what) {
    ++violations;
    if (described.size() < kDescribed)
        described.push_back(std::move(what));
}

void ControllerModel::CheckLine(const TtyLineSetup& pc, int baud) {
    if (pc.baud != baud)
        Violation("the PC sends at " + std::to_string(pc.baud) + " baud, the controller reads at " +
                  std::to_string(baud));
    if (pc.stopBits != spec.stopBits)
        Violation("the PC sends " + std::to_string(pc.stopBits) +
                  " stop bits, the controller is set to " + std::to_string(spec.stopBits));
    if (pc.rtsCts != spec.rtsCts)
        Violation(spec.rtsCts ? "the PC does not follow CTS (RTS/CTS is off)"
                              : "the PC waits for CTS, which this controller does not drive");
}

void ControllerModel::EndRun() {
    if (!run.empty() && !WholeEnds(run, spec.endOfBlock))
        Violation("line " + std::to_string(line) + ": end of block " + Visible(run) +
                  ", the controller takes " + Visible(spec.endOfBlock));
    for (const char c : run)
        line += c == '\n';
    run.clear();
}

void ControllerModel::Feed(std::string_view bytes) {
    const std::string_view start = spec.start;
    for (const char c : bytes) {
        ++fed;
        if (c == '\0' && !started)
            continue; // the leader
        started = true;
        const bool inHead = head.size() < start.size();
        if (inHead) {
            head += c;
            if (head.size() == start.size() && head != start)
                Violation("the program starts with " + Visible(head) + ", not " + Visible(start));
        }
        if (spec.dataBits == 7 && static_cast<unsigned char>(c) >= 0x80)
            Violation("line " + std::to_string(line) + ": byte " +
                      Visible(std::string_view(&c, 1)) + " does not fit in 7 data bits");
        if (c == '\r' || c == '\n') {
            run += c;
            continue;
        }
        EndRun();
        if (c == '%' && !inHead)
            ++percents;
        if (c != '\0') {
            tail += c;
            if (tail.size() > 16)
                tail.erase(0, tail.size() - 16);
        }
    }
}

void ControllerModel::HoldOverrun(int64_t characters) {
    Violation(std::to_string(characters) + " characters after DC3, the controller takes " +
              std::to_string(spec.xoffRoom));
}

void ControllerModel::Finish() {
    if (fed == 0)
        return;
    const std::string_view start = spec.start, end = spec.end;
    if (head.size() < start.size())
        Violation("the program ends before its start " + Visible(start));
    std::string want;
    for (const char c : end)
        if (c != '\r' && c != '\n')
            want += c;
    if (tail.size() < want.size() || tail.compare(tail.size() - want.size(), want.size(), want))
        Violation("the program ends with " +
                  Visible(tail.substr(tail.size() > 8 ? tail.size() - 8 : 0)) + ", not " +
                  Visible(end));
    // The controller stops reading at the first '%' after the start.
    if (want.find('%') != std::string::npos && percents > 1)
        Violation(std::to_string(percents) +
                  " '%' after the start: the controller stops reading at the first");
    // A last run of line ends is judged too: "%\n" is a whole end.
    EndRun();
    started = false;
    head.clear();
    tail.clear();
    fed = 0;
    line = 1;
    percents = 0;
}
