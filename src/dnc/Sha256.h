#pragma once
#include <string>
#include <string_view>

struct evp_md_ctx_st;

// SHA-256 of bytes fed piece by piece as they go over the wire (libcrypto).
// HexDigest may be asked at any time and feeding may go on after it.
// Should libcrypto fail (out of memory), HexDigest is empty rather than wrong.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::string_view bytes);
    // 64 lower-case hex digits of what was fed so far.
    std::string HexDigest() const;
    // Starts again as if new.
    void Reset();

    static std::string Of(std::string_view bytes);

private:
    evp_md_ctx_st* context = nullptr;
    bool ok = false;
};
