#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "common/MessageSink.h"

// A real pseudo-terminal: the test holds the controller's end (master); the
// port under test opens the other end by its path.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    int Master() const { return master; }
    const std::string& SlavePath() const { return slavePath; }
    void CloseMaster();
    // Everything that arrives at the master within the time.
    std::string ReadMaster(size_t want, int timeoutMs);
    // Everything that arrives at the master until it has been quiet that long.
    std::string DrainMaster(int quietMs);
    void WriteMaster(const std::string& bytes);

private:
    int master = -1;
    std::string slavePath;
};

// Writes all of bytes to a non-blocking descriptor, waiting while it is full.
void WriteAllTo(int fd, const std::string& bytes);

// Collects messages from any thread.
class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption = {}) override;
    std::vector<std::string> Messages() const;
    void Clear();

private:
    mutable std::mutex lock;
    std::vector<std::string> messages;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name;
    std::string old;
    bool had = false;
};
