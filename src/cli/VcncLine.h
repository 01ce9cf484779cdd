#pragma once
#include <string>

#include "serial/LinuxTty.h"

// The controller's end of the cable: an existing device (a real port, a socat
// end), or a new pseudo-terminal whose other end, the one the PC program
// opens, is reached through a symbolic link.
class VcncLine {
public:
    VcncLine() = default;
    VcncLine(const VcncLine&) = delete;
    VcncLine& operator=(const VcncLine&) = delete;
    ~VcncLine() { Close(); }

    // Raw 8N1 at baud; what was waiting in the device is dropped.
    bool OpenDevice(const std::string& path, int baud, std::string& error);
    // A new pseudo-terminal. An old symbolic link at linkPath is replaced;
    // anything else there is left alone and the call fails.
    bool OpenLink(const std::string& linkPath, std::string& error);
    // Closes; the link is removed if it still leads to our pseudo-terminal.
    void Close();

    // Non-blocking, read and write.
    int Fd() const { return fd; }
    bool IsLink() const { return keeper >= 0; }
    const std::string& OtherEnd() const { return slavePath; }

    // For a link: whether a program has the other end open and set up as a
    // serial line. Polled; also lets the next program in after one that quit
    // (see the .cpp). A device always answers true.
    bool PeerPresent();
    // For a link: the line as the PC program set up its end; false for a
    // device, whose other end is out of reach.
    bool PeerLine(TtyLineSetup& out) const;

private:
    int fd = -1;
    // Our own descriptor on the other end: while it is open the master never
    // sees a hang-up (EIO) when the PC program closes and reopens.
    int keeper = -1;
    std::string linkPath;
    std::string slavePath;
};
