#pragma once
#include <cstdint>

// The Linux-only terminal calls, kept in one place. Each returns 0 or an errno.

// Raw 8-bit line with the given framing and no flow control in the driver
// except, with rtsCts, the hardware handshake (CRTSCTS); any baud rate,
// standard or not. With markErrors, characters that arrive damaged
// (parity, framing) or a break are marked in the input (PARMRK; see
// ParmrkFilter), never passed on as if they were good; a pseudo-terminal,
// which cannot damage a character, is better without, since marking takes
// every byte through the kernel's slow path. EINVAL for values the line
// cannot take.
int TtySetLine(int fd, int baud, int dataBits, int stopBits, char parity, bool markErrors = true,
               bool rtsCts = false);

// What the device really holds now.
struct TtyLineSetup {
    uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    int baud = 0;
    int dataBits = 0;
    int stopBits = 0;
    char parity = '?';
    bool raw = false;         // no echo, no canonical mode, no signals, no output processing
    bool flowOff = false;     // no CRTSCTS, IXON, IXOFF, IXANY
    bool rtsCts = false;      // CRTSCTS, and none of the driver's XON/XOFF
    bool parityCheck = false; // INPCK
    bool marksErrors = false; // PARMRK, and not IGNPAR
    bool clocal = false;
    bool cread = false;
};
int TtyReadLine(int fd, TtyLineSetup& out);
// The set-up TtySetLine asks of a real port, worked out on a terminal state that
// starts cooked with every kind of flow control on. Pseudo-terminals keep
// CS8 and no parity whatever they are asked, so this is how the framing is
// checked without a real port.
int TtyPlannedLine(int baud, int dataBits, int stopBits, char parity, TtyLineSetup& out,
                   bool rtsCts = false);

int TtySaveState(int fd, void* state, unsigned size);
int TtyRestoreState(int fd, const void* state, unsigned size);
constexpr unsigned kTtyStateSize = 64; // room for struct termios2

// The kernel's exclusive mode outlives our descriptor on a pseudo-terminal
// whose other end stays open, so it is cleared before closing.
int TtySetExclusive(int fd);
int TtyClearExclusive(int fd);
// DTR and RTS; a device without modem lines (a pseudo-terminal) gives 0.
int TtyRaiseDtrRts(int fd);
int TtyDropDtr(int fd);
int TtyInputCount(int fd, int& count);
int TtyOutputCount(int fd, int& count);
bool TtyIsPseudoTerminal(int fd);
// Whether fd is a terminal at all (a serial device or a pseudo-terminal), and
// not a file, a pipe or a device such as /dev/null.
bool TtyIsTerminal(int fd);

// The driver's own error counts since the device was set up; ENOTTY (or
// EINVAL) where the driver keeps none, as on a pseudo-terminal.
struct TtyErrorCounts {
    int64_t frame = 0, parity = 0, breaks = 0, overruns = 0;
};
int TtyReadErrorCounts(int fd, TtyErrorCounts& out);
