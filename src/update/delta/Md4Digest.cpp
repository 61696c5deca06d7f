// The own library context holds the legacy provider for MD4 and the default
// one beside it, which the legacy provider needs for nothing but costs nothing.
#include "update/delta/Md4Digest.h"

#include "platform/runtime/RuntimeError.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

Md4Digest::Md4Digest() {
    library_ = OSSL_LIB_CTX_new();
    if (library_) {
        legacy_ = OSSL_PROVIDER_load(library_, "legacy");
        default_ = OSSL_PROVIDER_load(library_, "default");
        md4_ = EVP_MD_fetch(library_, "MD4", nullptr);
        context_ = EVP_MD_CTX_new();
    }
    if (!legacy_ || !default_ || !md4_ || !context_) {
        Release();
        throw RuntimeError(RuntimeErrors::invalidCall, "OpenSSL's legacy provider gives no MD4.",
                           "OpenSSL");
    }
}

Md4Digest::~Md4Digest() {
    Release();
}

void Md4Digest::Release() {
    EVP_MD_CTX_free(context_);
    EVP_MD_free(md4_);
    if (default_)
        OSSL_PROVIDER_unload(default_);
    if (legacy_)
        OSSL_PROVIDER_unload(legacy_);
    OSSL_LIB_CTX_free(library_);
    context_ = nullptr;
    md4_ = nullptr;
    default_ = legacy_ = nullptr;
    library_ = nullptr;
}

void Md4Digest::Digest(const unsigned char* data, std::size_t length, unsigned char (&out)[size]) {
    unsigned int written = 0;
    if (!EVP_DigestInit_ex2(context_, md4_, nullptr) || !EVP_DigestUpdate(context_, data, length) ||
        !EVP_DigestFinal_ex(context_, out, &written))
        throw RuntimeError(RuntimeErrors::invalidCall, "OpenSSL cannot compute MD4.", "OpenSSL");
}
