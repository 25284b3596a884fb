// The update's signature check against signatures the openssl tool made for keys
// it generated: good ones pass, and a changed byte anywhere, another key, a key
// of another kind or no key at all fail with a reason.
#include "web/update_signature.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_util.h"
#include "web/loopback_http.h"
#include "web/update_signing.h"

namespace {

using testutil::RandomBytes;

class Signatures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testutil::HaveProgram("openssl"));
        ASSERT_TRUE(key.Ok());
        ASSERT_TRUE(other.Ok());
    }
    std::string Signed(const std::string& name, const std::string& data, const testutil::SigningKey& by) {
        testutil::WriteAll(dir.File(name), data);
        return by.Signature(dir.File(name));
    }
    testutil::TempDir dir;
    testutil::SigningKey key, other;
};

TEST_F(Signatures, TheToolsSignaturesVerify) {
    const std::string pem = key.PublicPem();
    EXPECT_EQ(web::UpdateKeyProblem(pem), "");
    // (The tool signs no empty file.)
    for (size_t n : {size_t{1}, size_t{64}, size_t{1000}, size_t{300000}}) {
        const std::string data = RandomBytes(n, static_cast<unsigned>(n) + 1);
        const std::string sig = Signed("f" + std::to_string(n), data, key);
        ASSERT_EQ(sig.size(), web::kSignatureBytes) << n;
        EXPECT_EQ(web::SignatureProblem(pem, data, sig), "") << n;
        EXPECT_EQ(web::FileSignatureProblem(pem, dir.File("f" + std::to_string(n)), sig, 1 << 20), "") << n;
    }
}

TEST_F(Signatures, AnyChangeOrAnotherKeyFails) {
    const std::string pem = key.PublicPem();
    const std::string data = "0.9.98\r\nFixes the tracking.\r\n";
    const std::string sig = Signed("info.txt", data, key);
    ASSERT_EQ(web::SignatureProblem(pem, data, sig), "");

    const std::string noMatch = "the signature does not match";
    // One bit of the data, of the signature, a byte more or less of the data.
    for (size_t i = 0; i < data.size(); ++i) {
        std::string changed = data;
        changed[i] ^= 0x01;
        EXPECT_EQ(web::SignatureProblem(pem, changed, sig), noMatch) << i;
    }
    for (size_t i = 0; i < sig.size(); ++i) {
        std::string changed = sig;
        changed[i] ^= 0x80;
        EXPECT_EQ(web::SignatureProblem(pem, data, changed), noMatch) << i;
    }
    EXPECT_EQ(web::SignatureProblem(pem, data + "\n", sig), noMatch);
    EXPECT_EQ(web::SignatureProblem(pem, data.substr(1), sig), noMatch);
    // Another key's signature of the same data, and the right signature checked
    // against the other key.
    EXPECT_EQ(web::SignatureProblem(pem, data, Signed("again.txt", data, other)), noMatch);
    EXPECT_EQ(web::SignatureProblem(other.PublicPem(), data, sig), noMatch);

    // Signatures of another length are no signatures.
    for (const std::string& wrong : {std::string(), sig.substr(0, 63), sig + "x", std::string(128, 'a')})
        EXPECT_EQ(web::SignatureProblem(pem, data, wrong), "not a signature of 64 bytes") << wrong.size();
    EXPECT_EQ(web::SignatureProblem(pem, data, std::string(64, '\0')), noMatch);
}

TEST_F(Signatures, OnlyAnEd25519PublicKeyIsTrusted) {
    const std::string data = "0.9.98\n";
    const std::string sig = Signed("info.txt", data, key);
    EXPECT_EQ(web::SignatureProblem("", data, sig), "no trusted key");
    const std::string notPem = "the key is not a public key in PEM form";
    // The private key file itself is not taken as a public key.
    const std::string priv = testutil::ReadAll(key.PrivatePemPath());
    ASSERT_NE(priv.find("PRIVATE KEY"), std::string::npos);
    EXPECT_EQ(web::UpdateKeyProblem(priv), notPem);
    EXPECT_EQ(web::SignatureProblem(priv, data, sig), notPem);
    // Garbage, a cut key, a huge text.
    const std::string pem = key.PublicPem();
    for (const std::string& bad : {std::string("hello"), pem.substr(0, pem.size() / 2), std::string(1 << 20, 'A'),
                                   std::string("-----BEGIN PUBLIC KEY-----\n!!!!\n-----END PUBLIC KEY-----\n")})
        EXPECT_EQ(web::UpdateKeyProblem(bad), notPem) << bad.substr(0, 40);
    // A public key of another kind.
    ASSERT_EQ(testutil::Run("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out '" + dir.File("ec.pem") +
                            "' 2>/dev/null && openssl pkey -in '" + dir.File("ec.pem") + "' -pubout -out '" +
                            dir.File("ecpub.pem") + "' 2>/dev/null"),
              0);
    EXPECT_EQ(web::UpdateKeyProblem(testutil::ReadAll(dir.File("ecpub.pem"))), "the key is not an Ed25519 key");

    // The build's own key is either absent or a good one.
    if (!web::BuiltInUpdateKey().empty()) {
        EXPECT_EQ(web::UpdateKeyProblem(web::BuiltInUpdateKey()), "");
    }
}

TEST_F(Signatures, FilesThatCannotBeReadFail) {
    const std::string pem = key.PublicPem();
    const std::string data = RandomBytes(5000, 7);
    const std::string sig = Signed("pack.zip", data, key);
    EXPECT_EQ(web::FileSignatureProblem(pem, dir.File("pack.zip"), sig, 5000), "");
    // Larger than the limit, missing, a folder: refused, not read.
    EXPECT_NE(web::FileSignatureProblem(pem, dir.File("pack.zip"), sig, 4999), "");
    EXPECT_NE(web::FileSignatureProblem(pem, dir.File("missing.zip"), sig, 1 << 20), "");
    EXPECT_NE(web::FileSignatureProblem(pem, dir.Path(), sig, 1 << 20), "");
    EXPECT_EQ(web::FileSignatureProblem(pem, dir.File("pack.zip"), sig.substr(1), 1 << 20),
              "not a signature of 64 bytes");
    EXPECT_EQ(web::FileSignatureProblem("", dir.File("pack.zip"), sig, 1 << 20), "no trusted key");
}

}  // namespace
