#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the simulated modem does with the two commands it knows.
struct ModemScript {
    enum class ResetReply { Ok, Nothing, Garbage };
    ResetReply reset = ResetReply::Ok;
    // Echo each command line back, as a modem with E1 does.
    bool echo = true;
    // Sent right behind the echo of the dial command, in the same write.
    std::string afterEcho;
    // The answer to the dial: "CONNECT 9600\r\n", "BUSY\r\n", several words,
    // or empty for a modem that never answers.
    std::string result = "\r\nCONNECT 9600\r\n";
    // Real milliseconds from the echo to the answer; -1: only on SendResult().
    int resultDelayMs = -1;
};

// A Hayes modem on the controller's end of a pseudo-terminal. It answers
// "atz" and "attd..." lines (ended by CR) on a thread of its own. Every write
// it makes is one numbered reply.
//
// A byte written to the master reaches the other end a moment later, so tests
// with a made-up clock call Settle before they let the dial read.
class ModemSimulator {
public:
    ModemSimulator(int master, const std::string& slavePath, ModemScript script);
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // Everything the modem has received so far.
    std::string Received() const;
    int Replies() const;
    // Sends the script's answer now (for resultDelayMs == -1).
    void SendResult();
    // Sends any bytes now, as one reply.
    void Send(const std::string& bytes);
    // Waits until `replies` replies have been written and the bytes of those
    // not yet settled are readable at the port's end (which assumes the port
    // read everything before). False after 5 s.
    bool Settle(int replies);
    // Bytes readable at the port's end now.
    int Queued() const;

private:
    void Run();
    void HandleLine(const std::string& line);
    void WriteReply(const std::string& bytes);

    int master;
    int peek = -1; // the port's end, opened only to count its input
    int stopPipe[2] = {-1, -1};
    ModemScript script;

    mutable std::mutex lock;
    std::condition_variable changed;
    std::string received;
    std::vector<size_t> replySizes;
    int settled = 0;
    bool resultDue = false;
    std::chrono::steady_clock::time_point resultAt;
    std::mutex writeLock;
    std::thread thread;
};
