// Small pseudo-terminal helpers for the transfer benchmarks:
//   pty_tools sink LINK [IDLE_MS]    a new pty, LINK -> its other end; reads and
//                                    counts everything, prints "bytes SECONDS"
//                                    (first to last byte) after IDLE_MS of silence
//   pty_tools lines DEVICE FILE      one write() per line of FILE (cut at ';',
//                                    CR LF added): the limit of a line sender
//   pty_tools punch LINK FILE        a new pty, LINK -> its other end; once that
//                                    end is opened, writes FILE at full speed,
//                                    and closes the pty 3 s after
//   pty_tools stamp                  reads stdin to its end; prints "bytes SECONDS"
//                                    (first to last byte)
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int MakeLinkedPty(const char* link, int& slave) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) || ::unlockpt(master))
        return -1;
    termios tio{};
    ::tcgetattr(master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master, TCSANOW, &tio);
    const char* name = ::ptsname(master);
    // Held open so that the master never sees a hang-up between two openers.
    slave = ::open(name, O_RDWR | O_NOCTTY);
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::unlink(link);
    if (::symlink(name, link) != 0)
        return -1;
    return master;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Reads fd until it ends or stays silent for idleMs; prints "bytes SECONDS",
// first byte to last.
void CountArrivals(int fd, int idleMs) {
    static char buf[1 << 16];
    long long total = 0;
    Clock::time_point first{}, last{};
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, total ? idleMs : 60000);
        if (r <= 0)
            break;
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        if (!total)
            first = Clock::now();
        total += n;
        last = Clock::now();
    }
    std::printf("%lld %.6f\n", total, std::chrono::duration<double>(last - first).count());
}

int Sink(const char* link, int idleMs) {
    int slave = -1;
    int master = MakeLinkedPty(link, slave);
    if (master < 0)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    CountArrivals(master, idleMs);
    ::unlink(link);
    return 0;
}

int Lines(const char* device, const char* file) {
    int fd = ::open(device, O_RDWR | O_NOCTTY);
    if (fd < 0)
        return 1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    std::string text = ReadFile(file);
    std::string line;
    size_t lines = 0;
    auto start = Clock::now();
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        // The comment cut is looked for within this line only: searching the
        // rest of the file for every line made a file with few ';' quadratic.
        const void* semicolon = std::memchr(text.data() + at, ';', end - at);
        const size_t cut =
            semicolon ? size_t(static_cast<const char*>(semicolon) - text.data()) : end;
        line.assign(text, at, cut - at);
        line += "\r\n";
        for (size_t done = 0; done < line.size();) {
            ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n > 0)
                done += size_t(n);
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                return 1;
        }
        ++lines;
        at = end + 2;
    }
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%zu lines %.3f s %.0f lines/s\n", lines, s, double(lines) / s);
    return 0;
}

int Punch(const char* link, const char* file) {
    int slave = -1;
    int master = MakeLinkedPty(link, slave);
    if (master < 0)
        return 1;
    std::string text = ReadFile(file);
    std::printf("ready\n");
    std::fflush(stdout);
    // Wait for the PC end to open and set the line up, then pour it out.
    ::usleep(300000);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::printf("start %lld.%09ld\n", (long long)now.tv_sec, now.tv_nsec);
    std::fflush(stdout);
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(master, text.data() + done, text.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else {
            pollfd p{master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
    // Stay on the line longer than the receiver waits for more: a line that
    // goes away would end its reception as cut.
    ::sleep(3);
    ::unlink(link);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && !std::strcmp(argv[1], "sink"))
        return Sink(argv[2], argc > 3 ? std::atoi(argv[3]) : 500);
    if (argc == 4 && !std::strcmp(argv[1], "lines"))
        return Lines(argv[2], argv[3]);
    if (argc == 2 && !std::strcmp(argv[1], "stamp")) {
        CountArrivals(STDIN_FILENO, 60000);
        return 0;
    }
    if (argc == 4 && !std::strcmp(argv[1], "punch"))
        return Punch(argv[2], argv[3]);
    std::fprintf(
        stderr,
        "usage: pty_tools sink LINK [IDLE_MS] | lines DEVICE FILE | punch LINK FILE | stamp\n");
    return 2;
}
