#include "SocatLink.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "ChildOfTest.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string FindSocat() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/socat";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

bool SocatLink::Available() {
    return !FindSocat().empty();
}

SocatLink::SocatLink() {
    const std::string socat = FindSocat();
    char templ[] = "/tmp/sermida-cable-XXXXXX";
    if (socat.empty() || !::mkdtemp(templ))
        return;
    folder = templ;
    ::chmod(folder.c_str(), 0755); // an ordinary user may open the ends too
    pcEnd = folder + "/pc";
    controllerEnd = folder + "/controller";
    const std::string a = "pty,raw,echo=0,link=" + pcEnd;
    const std::string b = "pty,raw,echo=0,link=" + controllerEnd;
    std::vector<char*> argv = {const_cast<char*>("socat"), const_cast<char*>(a.c_str()),
                               const_cast<char*>(b.c_str()), nullptr};
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
        DieWithTest(parent); // socat must not outlive the test
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
            ::dup2(null, STDERR_FILENO);
        ::execv(socat.c_str(), argv.data());
        ::_exit(127);
    }
    if (pid < 0)
        return;
    // socat makes the links once both pseudo-terminals exist and are set up.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (Exists(pcEnd) && Exists(controllerEnd)) {
            ready = true;
            return;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SocatLink::~SocatLink() {
    Pull();
    if (!folder.empty()) {
        ::unlink(pcEnd.c_str());
        ::unlink(controllerEnd.c_str());
        ::rmdir(folder.c_str());
    }
}

void SocatLink::Pull() {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

FarEnd::FarEnd(const std::string& path) {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    reader = std::thread(&FarEnd::ReadLoop, this);
}

FarEnd::~FarEnd() {
    if (reader.joinable()) {
        uint64_t one = 1;
        (void)!::write(stopFd, &one, sizeof one);
        reader.join();
    }
    if (stopFd >= 0)
        ::close(stopFd);
    if (fd >= 0)
        ::close(fd);
}

void FarEnd::ReadLoop() {
    char chunk[65536];
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (p[1].revents)
            return;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            std::lock_guard<std::mutex> hold(lock);
            received.append(chunk, size_t(n));
            count = received.size();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break; // the cable is gone
        }
    }
    hungUp = true;
}

std::string FarEnd::Received() const {
    std::lock_guard<std::mutex> hold(lock);
    return received;
}

bool FarEnd::WaitFor(size_t n, std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    while (count.load() < n) {
        if (Clock::now() > deadline || hungUp.load())
            return count.load() >= n;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool FarEnd::Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 1000) > 0 && (p.revents & (POLLERR | POLLHUP)))
            return false;
    }
    return true;
}
