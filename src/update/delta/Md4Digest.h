// MD4, which zsync's block table uses, from OpenSSL's legacy provider loaded
// into a library context of our own. Loading it into the default context
// would stop the default provider from loading by itself there, and TLS with it.
#pragma once

#include <cstddef>

struct ossl_lib_ctx_st;
struct ossl_provider_st;
struct evp_md_st;
struct evp_md_ctx_st;

class Md4Digest {
public:
    static constexpr int size = 16;

    // Raises RuntimeError when OpenSSL has no MD4 to give.
    Md4Digest();
    ~Md4Digest();
    Md4Digest(const Md4Digest&) = delete;
    Md4Digest& operator=(const Md4Digest&) = delete;

    void Digest(const unsigned char* data, std::size_t length, unsigned char (&out)[size]);

private:
    void Release();

    ossl_lib_ctx_st* library_ = nullptr;
    ossl_provider_st* legacy_ = nullptr;
    ossl_provider_st* default_ = nullptr;
    evp_md_st* md4_ = nullptr;
    evp_md_ctx_st* context_ = nullptr;
};
