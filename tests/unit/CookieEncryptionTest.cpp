#include "core/session/CookieEncryption.h"

#include "core/session/PreferenceDump.h"
#include "fakes/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

using orvi::CookieEncryption;
using orvi::CookieEncryptionError;
using Kind = orvi::CookieEncryptionError::Kind;

namespace {

// Opens an envelope with the primitives directly, as an independent reader would.
std::optional<std::string> openIndependently(const std::string& envelope, const std::string& password) {
    if (envelope.size() < 44)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(envelope.data());
    unsigned char key[32];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), bytes, 16, 100000, EVP_sha256(),
                          32, key) != 1)
        return std::nullopt;
    const int cipherSize = static_cast<int>(envelope.size() - 44);
    std::string plain(static_cast<std::size_t>(cipherSize), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int length = 0;
    int finalLength = 0;
    bool ok =
        EVP_DecryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key, bytes + 16) == 1 &&
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &length, bytes + 28,
                          cipherSize) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16,
                            const_cast<unsigned char*>(bytes + envelope.size() - 16)) == 1 &&
        EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + length, &finalLength) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return std::nullopt;
    return plain;
}

Kind decryptFailure(const std::string& data, const std::string& password) {
    try {
        CookieEncryption().decrypt(data, password);
    } catch (const CookieEncryptionError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "decrypt did not throw";
    return Kind::keyDerivationFailed;
}

} // namespace

TEST(CookieEncryption, OpensEnvelopesMadeByAnIndependentImplementation) {
    const auto path = std::string(ORVI_SOURCE_DIR) + "/tests/data/envelope.json";
    const auto vectors = nlohmann::json::parse(orvi::test::readFile(path), nullptr, false);
    ASSERT_TRUE(vectors.is_object()) << "missing or broken " << path;
    ASSERT_FALSE(vectors["vectors"].empty());
    for (const auto& vector : vectors["vectors"]) {
        const auto base64 = [&](const char* key) {
            return orvi::PreferenceDump::fromBase64(vector[key].get<std::string>()).value();
        };
        const auto envelope = base64("envelope_base64");
        const auto plain = base64("plaintext_base64");
        EXPECT_EQ(CookieEncryption().decrypt(envelope, vector["password"].get<std::string>()), plain)
            << vector["description"];
    }
}

TEST(CookieEncryption, EnvelopesMadeHereOpenWithThePlainPrimitivesAndDifferEachTime) {
    for (const std::string& plain :
         {std::string(R"({"version":2,"cookies":[{"name":"sid","value":"секрет"}]})"), std::string()}) {
        for (const std::string password : {"", "secret", "пароль-2026"}) {
            const auto envelope = CookieEncryption().encrypt(plain, password);
            EXPECT_EQ(openIndependently(envelope, password), plain);
            const auto again = CookieEncryption().encrypt(plain, password);
            EXPECT_NE(envelope.substr(0, 16), again.substr(0, 16)) << "a fresh salt";
            EXPECT_NE(envelope.substr(16, 12), again.substr(16, 12)) << "a fresh nonce";
        }
    }
}

TEST(CookieEncryption, RefusesShortInputAsInvalidAndAnyChangeAsDecryptionFailureWithoutLoggingIt) {
    orvi::test::LogCapture log;
    const std::string marker = "MARKER-5f1c2a";
    const auto envelope = CookieEncryption().encrypt(marker, "right");
    EXPECT_EQ(decryptFailure(std::string(43, 'x'), "right"), Kind::invalidData);
    EXPECT_EQ(decryptFailure(std::string(44, 'x'), "right"), Kind::decryptionFailed);
    for (std::size_t index :
         {0ul, 15ul, 16ul, 27ul, 28ul, envelope.size() - 17, envelope.size() - 16, envelope.size() - 1}) {
        auto altered = envelope;
        altered[index] = static_cast<char>(altered[index] ^ 0x01);
        EXPECT_EQ(decryptFailure(altered, "right"), Kind::decryptionFailed) << "byte " << index;
    }
    EXPECT_FALSE(log.containsSubstring(marker));
}
