#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TtyLineSetup;

// What a real controller checks of what a PC sends it, for vcnc --model: the
// line as its parameters set it (data bits, parity, stop bits, RTS/CTS), the
// characters it still takes after its DC3, its end of block, and the program's
// framing. Every departure is a violation, counted and described.
struct ControllerSpec {
    const char* name;
    const char* description;
    int dataBits;
    char parity; // 'N', 'O', 'E'
    int stopBits;
    bool rtsCts;  // it reads only while it raises CTS
    int buffer;   // its input buffer, bytes
    int xoffRoom; // characters it still takes after its DC3
    // Every run of line-end bytes must be whole ends of block: "\n", "\r\n",
    // "\n\r\r", or several separated by '|' ("\n|\r\n").
    const char* endOfBlock;
    // After a leader of NULs the program must start with these bytes, and,
    // line ends and NULs aside, end with those.
    const char* start;
    const char* end;
    int holdEvery = 0; // it also holds after every so many characters read
};

// The models, by name (fanuc, fanuc-lfcrcr, haas, sinumerik, heidenhain, mazak, okuma).
const std::vector<ControllerSpec>& ControllerSpecs();
const ControllerSpec* FindControllerSpec(std::string_view name);

class ControllerModel {
public:
    explicit ControllerModel(const ControllerSpec& spec) : spec(spec) {}

    // The PC end's line as the PC program set it up, against the rate the
    // controller is set to. A pseudo-terminal carries the rate, the stop bits
    // and RTS/CTS, but always reports 8 data bits without parity: those are
    // judged by the bytes alone (a byte above 0x7F cannot be 7-bit code).
    void CheckLine(const TtyLineSetup& pcEnd, int baud);
    // Bytes of a program as they arrive, in order.
    void Feed(std::string_view bytes);
    // The PC has finished (closed the line, or the controller stops): its
    // framing is judged, and a new program may follow.
    void Finish();
    // A hold during which more than xoffRoom characters came after the DC3.
    void HoldOverrun(int64_t characters);

    int64_t Violations() const { return violations; }
    // The first few violations, described, for the event log.
    const std::vector<std::string>& Described() const { return described; }

private:
    void Violation(std::string what);
    void EndRun(); // a run of CR and LF has ended

    const ControllerSpec& spec;
    int64_t violations = 0;
    std::vector<std::string> described;
    bool started = false; // something other than NUL has come
    std::string head;     // the first bytes after the leader, until start is judged
    std::string tail;     // the last bytes that are neither NUL nor line ends
    std::string run;      // the line-end bytes since the last other byte
    int64_t fed = 0;
    int64_t line = 1;
    int64_t percents = 0; // '%' after the start
};
