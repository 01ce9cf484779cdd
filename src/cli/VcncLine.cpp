#include "cli/VcncLine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "serial/LinuxTty.h"

namespace {

std::string ErrnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

bool MakeRaw(int fd) {
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The state we leave the other end in while no program uses it: raw (nothing
// echoes our DC1/DC3 back to us), except canonical mode. Any serial program
// turns that off when it sets up the line, and ours puts back what it found
// when it closes, so the flag tells whether a program holds the line.
bool SetIdleState(int fd) {
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_lflag |= ICANON;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// With VMIN 0 a read of an empty line returns 0 bytes, the same as a hang-up;
// with 1 (and O_NONBLOCK) it fails with EAGAIN, so 0 means the line is gone.
bool ReadsWaitForAByte(int fd) {
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

bool VcncLine::OpenDevice(const std::string& path, int baud, std::string& error) {
    Close();
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = ErrnoText("cannot open " + path, errno);
        return false;
    }
    if (int err = TtySetLine(fd, baud, 8, 1, 'N'); err != 0) {
        error = ErrnoText("cannot set up " + path, err);
        Close();
        return false;
    }
    if (!ReadsWaitForAByte(fd)) {
        error = ErrnoText("cannot set up " + path, errno);
        Close();
        return false;
    }
    ::tcflush(fd, TCIOFLUSH);
    return true;
}

bool VcncLine::OpenLink(const std::string& path, std::string& error) {
    Close();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[PATH_MAX];
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 ||
        ::ptsname_r(fd, name, sizeof name) != 0) {
        error = ErrnoText("cannot make a pseudo-terminal", errno);
        Close();
        return false;
    }
    slavePath = name;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    keeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper < 0 || !MakeRaw(fd) || !SetIdleState(keeper)) {
        error = ErrnoText("cannot set up the pseudo-terminal " + slavePath, errno);
        Close();
        return false;
    }
    // Made under a temporary name and renamed over the old link, so that the
    // path never leads nowhere for a program that is opening it.
    const std::string temp = path + ".vcnc-new";
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = ErrnoText("cannot make the link " + path, errno);
        ::unlink(temp.c_str());
        Close();
        return false;
    }
    linkPath = path;
    return true;
}

void VcncLine::Close() {
    if (!linkPath.empty()) {
        // Another run may have taken the path over since; its link stays.
        char target[PATH_MAX];
        const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == slavePath)
            ::unlink(linkPath.c_str());
        linkPath.clear();
    }
    if (keeper >= 0)
        ::close(keeper);
    if (fd >= 0)
        ::close(fd);
    keeper = fd = -1;
    slavePath.clear();
}

bool VcncLine::PeerLine(TtyLineSetup& out) const {
    return keeper >= 0 && TtyReadLine(keeper, out) == 0;
}

bool VcncLine::PeerPresent() {
    if (keeper < 0)
        return fd >= 0;
    struct termios tio {};
    if (::tcgetattr(keeper, &tio) != 0)
        return false;
    const bool present = !(tio.c_lflag & ICANON);
    // The PC's port takes the line for itself (TIOCEXCL) and holds a lock
    // while open. The kernel clears the exclusive mark only when the last
    // descriptor closes, and ours never does: so a program that has gone
    // would keep every later one (but root) out with EBUSY. Once the line is
    // back in its idle state, or the lock is free although the line is set
    // up (the program was killed), the mark is ours to lift.
    int exclusive = 0;
    if (::ioctl(keeper, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        bool gone = !present;
        if (present && ::flock(keeper, LOCK_EX | LOCK_NB) == 0) {
            ::flock(keeper, LOCK_UN);
            gone = true;
        }
        if (gone)
            ::ioctl(keeper, TIOCNXCL);
    }
    return present;
}
