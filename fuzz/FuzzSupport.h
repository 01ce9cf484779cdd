#pragma once
// What every fuzz target shares: a reader that turns the input into choices,
// a check that stops the run on a wrong result, and a scratch folder on tmpfs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A wrong result: print what and why, then abort so that libFuzzer keeps the
// input as a crash.
[[noreturn]] void FuzzFail(const char* file, int line, const char* what, const std::string& why);

#define FUZZ_CHECK(cond, why)                                                                      \
    do {                                                                                           \
        if (!(cond))                                                                               \
            FuzzFail(__FILE__, __LINE__, #cond, (why));                                            \
    } while (0)

// Printable form of bytes for failure messages: "\xNN" for anything unusual.
std::string Escaped(std::string_view bytes);

// Takes choices from the front of the input; past its end every choice is 0 and
// every byte string is empty, so any input is a complete script.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool Empty() const { return at >= size; }
    size_t Left() const { return size - at; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t Word() { return uint16_t(Byte() | (Byte() << 8)); }
    // A number in 0 .. limit - 1 (0 when limit is 0).
    size_t Below(size_t limit) { return limit == 0 ? 0 : Word() % limit; }
    // Up to maxLength bytes: a length byte, then that many bytes.
    std::string_view Bytes(size_t maxLength);
    std::string_view Rest();

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

// Whole-file writes and reads for the targets; a failure is a finding.
void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// A folder of this process's own under /dev/shm (tmpfs: fast, and no disk is
// worn by millions of saves), created on first use and removed at exit.
const std::string& ScratchFolder();
