#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// MD5 digests for the dump files, through OpenSSL.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void Update(std::span<const uint8_t> bytes);
    // The digest in lower-case hex; the object starts over afterwards.
    std::string FinishHex();

    static std::string OfBytes(std::span<const uint8_t> bytes);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
