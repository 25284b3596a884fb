#pragma once
// Key pairs and detached Ed25519 signatures made at run time with the openssl
// tool (an implementation of its own, beside the library the program checks
// with). The private key lives only in the test's scratch folder.
#include <string>

#include "support/test_util.h"

namespace testutil {

class SigningKey {
public:
    SigningKey() {
        ok_ = Run("openssl genpkey -algorithm ed25519 -out '" + dir_.File("key.pem") + "' 2>/dev/null") == 0 &&
              Run("openssl pkey -in '" + dir_.File("key.pem") + "' -pubout -out '" + dir_.File("pub.pem") +
                  "' 2>/dev/null") == 0;
    }
    bool Ok() const { return ok_; }
    std::string PublicPem() const { return ReadAll(dir_.File("pub.pem")); }
    std::string PublicPemPath() const { return dir_.File("pub.pem"); }
    std::string PrivatePemPath() const { return dir_.File("key.pem"); }

    // The 64-byte signature of the file's content.
    std::string Signature(const std::string& file) const {
        const std::string out = dir_.File("last.sig");
        if (Run("openssl pkeyutl -sign -rawin -inkey '" + dir_.File("key.pem") + "' -in '" + file + "' -out '" + out +
                "' 2>/dev/null") != 0)
            return {};
        return ReadAll(out);
    }
    // Writes the signature beside the file, as the update site holds it.
    void Sign(const std::string& file) const { WriteAll(file + ".sig", Signature(file)); }

private:
    TempDir dir_;
    bool ok_ = false;
};

}  // namespace testutil
