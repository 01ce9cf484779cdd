#include "dnc/Sha256.h"

#include <openssl/evp.h>

Sha256::Sha256() : context(EVP_MD_CTX_new()) {
    Reset();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(context);
}

void Sha256::Reset() {
    ok = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
}

void Sha256::Update(std::string_view bytes) {
    if (ok && !bytes.empty())
        ok = EVP_DigestUpdate(context, bytes.data(), bytes.size()) == 1;
}

std::string Sha256::HexDigest() const {
    if (!ok)
        return {};
    // Finishing a copy leaves this one open for more bytes.
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const bool done = copy && EVP_MD_CTX_copy_ex(copy, context) == 1 &&
                      EVP_DigestFinal_ex(copy, digest, &size) == 1;
    EVP_MD_CTX_free(copy);
    if (!done)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (unsigned int i = 0; i < size; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string Sha256::Of(std::string_view bytes) {
    Sha256 sha;
    sha.Update(bytes);
    return sha.HexDigest();
}
