#pragma once
// Detached Ed25519 signatures of the update site's files, checked with OpenSSL's
// libcrypto. Each file of the site has its signature beside it under the name
// with ".sig" added: the 64 raw bytes that `openssl pkeyutl -sign -rawin` writes
// for the file's whole content.
//
// The trusted key is a public key in PEM form. The one the build trusts is built
// into the program (empty when the build was given none); tests and the harness
// may trust another. Nothing here holds or reads a private key.
//
// Every input may be hostile: a key that is not an Ed25519 public key, a signature
// of another length, a file that is not a regular file or is larger than the
// limit all give a refusal with a short reason, never an exception.
#include <cstdint>
#include <string>
#include <string_view>

namespace web {

constexpr size_t kSignatureBytes = 64;
extern const char* const kSignatureSuffix;  // ".sig"

// The public key (PEM) this build trusts; empty when it was built without one.
const std::string& BuiltInUpdateKey();

// Empty when `pem` is an Ed25519 public key in PEM form, otherwise why not.
std::string UpdateKeyProblem(std::string_view pem);

// Empty when `signature` is a good signature of `data` by the key `pem`,
// otherwise why not ("the signature does not match", "not a signature of 64
// bytes", the key's problem).
std::string SignatureProblem(std::string_view pem, std::string_view data, std::string_view signature);

// SignatureProblem for the content of the file at `path` (at most `maxBytes`,
// read whole: Ed25519 signs the message as one piece).
std::string FileSignatureProblem(std::string_view pem, const std::string& path, std::string_view signature,
                                 uint64_t maxBytes);

}  // namespace web
