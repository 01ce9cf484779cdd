#pragma once
#include <string>
#include <sys/types.h>

// A real mosquitto broker started by the test, listening on 127.0.0.1 only,
// never on the system's port 1883; no persistence, so a restart forgets the
// retained messages as a replaced broker would.
class MosquittoBroker {
public:
    struct Options {
        int port = 0;                          // 0: a free one
        std::string user, password;            // set: anonymous clients are refused
        std::string caFile, certFile, keyFile; // set: the listener speaks TLS only
    };
    MosquittoBroker(const std::string& folder, const Options& options);
    explicit MosquittoBroker(const std::string& folder) : MosquittoBroker(folder, Options{}) {}
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // The broker's program, or empty when mosquitto is not installed.
    static std::string Program();

    bool Running() const { return pid > 0; }
    int Port() const { return port; }
    // Gone at once: every connection dropped, no will of a clean end.
    void Kill();
    // Started again on the same port; false when it did not come up.
    bool Restart();
    // Stops answering without closing anything (a hung broker).
    void Freeze();
    void Thaw();
    // Another user in the password file, taken at once (the broker reloads it).
    bool AddUser(const std::string& user, const std::string& password);
    std::string Log() const;

private:
    bool Launch();

    std::string folder, config, passwords;
    int port = 0;
    pid_t pid = -1;
};
