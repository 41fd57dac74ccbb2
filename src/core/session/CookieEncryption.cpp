#include "core/session/CookieEncryption.h"

#include "core/base/Log.h"

#include <array>
#include <climits>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <random>

namespace orvi {
namespace {

using Key = std::array<unsigned char, CookieEncryption::kKeySize>;

// Wipes the key however the scope is left, exceptions included.
struct KeyWiper {
    Key& key;
    ~KeyWiper() { OPENSSL_cleanse(key.data(), key.size()); }
};

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

std::string openSslErrorText(const char* fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return fallback;
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    return buffer;
}

std::array<unsigned char, CookieEncryption::kSaltSize> generateSalt() {
    std::array<unsigned char, CookieEncryption::kSaltSize> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        ERR_clear_error();
        std::random_device device;
        for (auto& byte : salt)
            byte = static_cast<unsigned char>(device() & 0xFF);
    }
    return salt;
}

// Returns false when the derivation reports failure; the caller decides which error that is.
bool deriveKey(std::string_view password, const unsigned char* salt, Key& key) {
    if (password.size() > static_cast<std::size_t>(INT_MAX))
        return false;
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                             static_cast<int>(CookieEncryption::kSaltSize), CookieEncryption::kIterations,
                             EVP_sha256(), static_cast<int>(key.size()), key.data()) == 1;
}

bool fitsInt(std::size_t size) {
    return size <= static_cast<std::size_t>(INT_MAX);
}

} // namespace

CookieEncryptionError::CookieEncryptionError(Kind kind)
    : std::runtime_error(description(kind)), m_kind(kind) {}

const char* CookieEncryptionError::description(Kind kind) {
    switch (kind) {
    case Kind::invalidData:
        return "Неверный формат зашифрованных данных";
    case Kind::keyDerivationFailed:
        return "Ошибка создания ключа из пароля";
    case Kind::decryptionFailed:
        return "Не удалось расшифровать данные. Возможно, неверный пароль";
    }
    return "";
}

std::string CookieEncryption::encrypt(std::string_view data, std::string_view password) const {
    const auto salt = generateSalt();
    Key key{};
    KeyWiper wiper{key};
    if (!deriveKey(password, salt.data(), key))
        throw CookieEncryptionError(CookieEncryptionError::Kind::keyDerivationFailed);

    std::array<unsigned char, kNonceSize> nonce{};
    if (RAND_bytes(nonce.data(), static_cast<int>(nonce.size())) != 1)
        throw CipherError(openSslErrorText("no random nonce available"));
    if (!fitsInt(data.size()))
        throw CipherError("data too large to seal");

    std::string out(kSaltSize + kNonceSize + data.size() + kTagSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    std::copy(salt.begin(), salt.end(), bytes);
    std::copy(nonce.begin(), nonce.end(), bytes + kSaltSize);
    unsigned char* cipherText = bytes + kSaltSize + kNonceSize;

    CipherContext ctx(EVP_CIPHER_CTX_new());
    int length = 0;
    int finalLength = 0;
    const bool sealed =
        ctx && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceSize), nullptr) == 1 &&
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nonce.data()) == 1 &&
        EVP_EncryptUpdate(ctx.get(), cipherText, &length, reinterpret_cast<const unsigned char*>(data.data()),
                          static_cast<int>(data.size())) == 1 &&
        EVP_EncryptFinal_ex(ctx.get(), cipherText + length, &finalLength) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize),
                            cipherText + data.size()) == 1;
    if (!sealed) {
        OPENSSL_cleanse(out.data(), out.size());
        throw CipherError(openSslErrorText("AES-GCM sealing failed"));
    }
    return out;
}

std::string CookieEncryption::decrypt(std::string_view data, std::string_view password) const {
    if (data.size() < kOverhead) {
        logLine("   ❌ Data too small for decryption: " + std::to_string(data.size()) + " bytes, minimum " +
                std::to_string(kOverhead) + " required");
        throw CookieEncryptionError(CookieEncryptionError::Kind::invalidData);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const unsigned char* salt = bytes;
    const unsigned char* nonce = bytes + kSaltSize;
    const unsigned char* cipherText = bytes + kSaltSize + kNonceSize;
    const std::size_t cipherTextSize = data.size() - kOverhead;
    const unsigned char* tag = bytes + data.size() - kTagSize;
    logLine("   🔑 Extracting components: salt(" + std::to_string(kSaltSize) + "), nonce(" +
            std::to_string(kNonceSize) + "), ciphertext(" + std::to_string(cipherTextSize) + "), tag(" +
            std::to_string(kTagSize) + ")");

    Key key{};
    KeyWiper wiper{key};
    if (!deriveKey(password, salt, key)) {
        logLine(std::string("   ❌ Unknown error during decryption: ") +
                CookieEncryptionError::description(CookieEncryptionError::Kind::keyDerivationFailed));
        throw CookieEncryptionError(CookieEncryptionError::Kind::decryptionFailed);
    }
    logLine("   🔑 Key derived successfully");

    if (!fitsInt(cipherTextSize)) {
        logLine("   ❌ OpenSSL error during decryption: data too large to open");
        throw CookieEncryptionError(CookieEncryptionError::Kind::decryptionFailed);
    }
    std::string plain(cipherTextSize, '\0');
    auto* plainBytes = reinterpret_cast<unsigned char*>(plain.data());
    CipherContext ctx(EVP_CIPHER_CTX_new());
    int length = 0;
    int finalLength = 0;
    const bool prepared =
        ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kNonceSize), nullptr) == 1 &&
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), nonce) == 1 &&
        EVP_DecryptUpdate(ctx.get(), plainBytes, &length, cipherText, static_cast<int>(cipherTextSize)) ==
            1 &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize),
                            const_cast<unsigned char*>(tag)) == 1;
    if (!prepared) {
        OPENSSL_cleanse(plain.data(), plain.size());
        logLine("   ❌ OpenSSL error during decryption: " + openSslErrorText("cipher setup failed"));
        throw CookieEncryptionError(CookieEncryptionError::Kind::decryptionFailed);
    }
    // The tag is checked only here; until it passes, the bytes above are not to be trusted.
    if (EVP_DecryptFinal_ex(ctx.get(), plainBytes + length, &finalLength) != 1) {
        OPENSSL_cleanse(plain.data(), plain.size());
        ERR_clear_error();
        logLine("   ❌ OpenSSL error during decryption: authentication failed");
        throw CookieEncryptionError(CookieEncryptionError::Kind::decryptionFailed);
    }
    logLine("   ✅ Decryption successful: " + std::to_string(plain.size()) + " bytes decrypted");
    return plain;
}

} // namespace orvi
