#include "Md5.h"

#include <openssl/evp.h>

#include <stdexcept>

struct Md5::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Md5::Md5() : m_context(std::make_unique<Context>()) {
    if (!m_context->ctx || !EVP_DigestInit_ex(m_context->ctx, EVP_md5(), nullptr))
        throw std::runtime_error("MD5 is not available");
}

Md5::~Md5() = default;

void Md5::Update(std::span<const uint8_t> bytes) {
    EVP_DigestUpdate(m_context->ctx, bytes.data(), bytes.size());
}

std::string Md5::FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->ctx, digest, &length);
    EVP_DigestInit_ex(m_context->ctx, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string Md5::OfBytes(std::span<const uint8_t> bytes) {
    Md5 md5;
    md5.Update(bytes);
    return md5.FinishHex();
}
