#include "web/update_signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "platform/file_io.h"

namespace web {

// Written by the build from the key file it was given (empty without one).
extern const char* const kBuiltInUpdateKeyPem;

const char* const kSignatureSuffix = ".sig";

namespace {

// A PEM public key is a few hundred bytes; nothing larger is parsed.
constexpr size_t kMaxKeyPemBytes = 16 * 1024;

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// The Ed25519 public key in `pem`, or null with `problem` set.
Pkey ReadKey(std::string_view pem, std::string& problem) {
    if (pem.empty()) {
        problem = "no trusted key";
        return nullptr;
    }
    if (pem.size() > kMaxKeyPemBytes) {
        problem = "the key is not a public key in PEM form";
        return nullptr;
    }
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    Pkey key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) {
        problem = "the key is not a public key in PEM form";
        return nullptr;
    }
    if (EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        problem = "the key is not an Ed25519 key";
        return nullptr;
    }
    return key;
}

}  // namespace

const std::string& BuiltInUpdateKey() {
    static const std::string key = kBuiltInUpdateKeyPem;
    return key;
}

std::string UpdateKeyProblem(std::string_view pem) {
    std::string problem;
    ReadKey(pem, problem);
    return problem;
}

std::string SignatureProblem(std::string_view pem, std::string_view data, std::string_view signature) {
    std::string problem;
    Pkey key = ReadKey(pem, problem);
    if (!key) return problem;
    if (signature.size() != kSignatureBytes) return "not a signature of 64 bytes";
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    // Ed25519 hashes the message itself: no digest is named.
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return "the signature cannot be checked";
    const int ok = EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                                    signature.size(), reinterpret_cast<const unsigned char*>(data.data()), data.size());
    return ok == 1 ? std::string() : "the signature does not match";
}

std::string FileSignatureProblem(std::string_view pem, const std::string& path, std::string_view signature,
                                 uint64_t maxBytes) {
    // The cheap refusals first, before a large file is read.
    std::string problem = UpdateKeyProblem(pem);
    if (!problem.empty()) return problem;
    if (signature.size() != kSignatureBytes) return "not a signature of 64 bytes";
    std::string data, error;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(maxBytes, std::numeric_limits<size_t>::max()));
    if (!fileio::ReadFile(path, data, error, limit)) return error;
    return SignatureProblem(pem, data, signature);
}

}  // namespace web
