// termios2 (from the kernel's own headers) gives arbitrary baud rates through
// BOTHER; it cannot share a translation unit with <termios.h>.
#include "serial/LinuxTty.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

static_assert(sizeof(struct termios2) <= kTtyStateSize);

namespace {

bool ValidLine(int baud, int dataBits, int stopBits, char parity) {
    return baud > 0 && dataBits >= 5 && dataBits <= 8 && (stopBits == 1 || stopBits == 2) &&
           (parity == 'N' || parity == 'O' || parity == 'E');
}

void Encode(struct termios2& tio, int baud, int dataBits, int stopBits, char parity,
            bool markErrors, bool rtsCts) {
    // Raw: bytes pass untouched both ways; DC1/DC3 reach the program. A
    // damaged character is marked (PARMRK), not handed on as a NUL.
    tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                             IXON | IXOFF | IXANY | IMAXBEL | IUCLC);
    tio.c_iflag |= INPCK | (markErrors ? PARMRK : 0);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &=
        ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dataBits - 5] | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (rtsCts)
        tio.c_cflag |= CRTSCTS;
    if (parity != 'N')
        tio.c_cflag |= PARENB | (parity == 'O' ? PARODD : 0);
    tio.c_ispeed = tio.c_ospeed = speed_t(baud);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

void Decode(const struct termios2& tio, TtyLineSetup& out) {
    out.iflag = tio.c_iflag;
    out.oflag = tio.c_oflag;
    out.cflag = tio.c_cflag;
    out.lflag = tio.c_lflag;
    out.baud = int(tio.c_ospeed);
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        out.dataBits = 5;
        break;
    case CS6:
        out.dataBits = 6;
        break;
    case CS7:
        out.dataBits = 7;
        break;
    default:
        out.dataBits = 8;
        break;
    }
    out.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    out.parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    out.raw = !(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) && !(tio.c_oflag & OPOST) &&
              !(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
    out.flowOff = !(tio.c_cflag & CRTSCTS) && !(tio.c_iflag & (IXON | IXOFF | IXANY));
    out.rtsCts = (tio.c_cflag & CRTSCTS) && !(tio.c_iflag & (IXON | IXOFF | IXANY));
    out.parityCheck = (tio.c_iflag & INPCK) != 0;
    out.marksErrors = (tio.c_iflag & PARMRK) && !(tio.c_iflag & IGNPAR);
    out.clocal = (tio.c_cflag & CLOCAL) != 0;
    out.cread = (tio.c_cflag & CREAD) != 0;
}

} // namespace

int TtyPlannedLine(int baud, int dataBits, int stopBits, char parity, TtyLineSetup& out,
                   bool rtsCts) {
    if (!ValidLine(baud, dataBits, stopBits, parity))
        return EINVAL;
    struct termios2 tio {};
    tio.c_iflag = ICRNL | IXON;
    tio.c_oflag = OPOST;
    tio.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    tio.c_cflag = CRTSCTS | PARENB | CS7;
    Encode(tio, baud, dataBits, stopBits, parity, true, rtsCts);
    Decode(tio, out);
    return 0;
}

int TtySetLine(int fd, int baud, int dataBits, int stopBits, char parity, bool markErrors,
               bool rtsCts) {
    if (!ValidLine(baud, dataBits, stopBits, parity))
        return EINVAL;
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    Encode(tio, baud, dataBits, stopBits, parity, markErrors, rtsCts);
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    // A device that cannot take the rate may quietly keep another one.
    struct termios2 back {};
    if (::ioctl(fd, TCGETS2, &back) != 0)
        return errno;
    const long want = baud, got = long(back.c_ospeed);
    if (got <= 0 || (got > want ? got - want : want - got) * 100 > want * 3)
        return EINVAL;
    return 0;
}

int TtyReadLine(int fd, TtyLineSetup& out) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    Decode(tio, out);
    return 0;
}

int TtySaveState(int fd, void* state, unsigned size) {
    if (size < sizeof(struct termios2))
        return EINVAL;
    return ::ioctl(fd, TCGETS2, state) == 0 ? 0 : errno;
}

int TtyRestoreState(int fd, const void* state, unsigned size) {
    if (size < sizeof(struct termios2))
        return EINVAL;
    return ::ioctl(fd, TCSETS2, state) == 0 ? 0 : errno;
}

int TtySetExclusive(int fd) {
    return ::ioctl(fd, TIOCEXCL) == 0 ? 0 : errno;
}
int TtyClearExclusive(int fd) {
    return ::ioctl(fd, TIOCNXCL) == 0 ? 0 : errno;
}

static int ModemBits(int fd, unsigned long request, int bits) {
    if (::ioctl(fd, request, &bits) == 0)
        return 0;
    // Pseudo-terminals and the like have no modem lines.
    return (errno == EINVAL || errno == ENOTTY || errno == ENOTSUP) ? 0 : errno;
}

int TtyRaiseDtrRts(int fd) {
    return ModemBits(fd, TIOCMBIS, TIOCM_DTR | TIOCM_RTS);
}

int TtyDropDtr(int fd) {
    return ModemBits(fd, TIOCMBIC, TIOCM_DTR);
}

int TtyInputCount(int fd, int& count) {
    count = 0;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? 0 : errno;
}

int TtyOutputCount(int fd, int& count) {
    count = 0;
    return ::ioctl(fd, TIOCOUTQ, &count) == 0 ? 0 : errno;
}

bool TtyIsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // Unix98 pty slaves have majors 136..143.
    unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

bool TtyIsTerminal(int fd) {
    struct termios2 tio {};
    return ::ioctl(fd, TCGETS2, &tio) == 0;
}

int TtyReadErrorCounts(int fd, TtyErrorCounts& out) {
    struct serial_icounter_struct counts {};
    if (::ioctl(fd, TIOCGICOUNT, &counts) != 0)
        return errno;
    out.frame = counts.frame;
    out.parity = counts.parity;
    out.breaks = counts.brk;
    out.overruns = int64_t(counts.overrun) + counts.buf_overrun;
    return 0;
}
