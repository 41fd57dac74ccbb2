#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace orvi {

// Why an envelope could not be made or opened. The descriptions are shown to the user.
class CookieEncryptionError : public std::runtime_error {
public:
    enum class Kind { invalidData, keyDerivationFailed, decryptionFailed };

    explicit CookieEncryptionError(Kind kind);

    Kind kind() const { return m_kind; }
    // The Russian text the settings screen shows.
    static const char* description(Kind kind);

private:
    Kind m_kind;
};

// The sealing itself failed inside the cipher library (not a password or format problem).
class CipherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Password envelope of export files: salt(16) | nonce(12) | ciphertext | tag(16), with a key
// from PBKDF2-HMAC-SHA256 (100,000 iterations) and AES-256-GCM. The layout has no header
// or version: files made by any earlier version and on any machine must keep opening.
class CookieEncryptionProtocol {
public:
    virtual ~CookieEncryptionProtocol() = default;

    // Throws CookieEncryptionError (keyDerivationFailed) or CipherError.
    virtual std::string encrypt(std::string_view data, std::string_view password) const = 0;
    // Throws CookieEncryptionError: invalidData below the minimum size, decryptionFailed
    // for every other failure.
    virtual std::string decrypt(std::string_view data, std::string_view password) const = 0;
};

class CookieEncryption final : public CookieEncryptionProtocol {
public:
    static constexpr std::size_t kSaltSize = 16;
    static constexpr std::size_t kNonceSize = 12;
    static constexpr std::size_t kTagSize = 16;
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kOverhead = kSaltSize + kNonceSize + kTagSize;
    static constexpr int kIterations = 100'000;

    std::string encrypt(std::string_view data, std::string_view password) const override;
    std::string decrypt(std::string_view data, std::string_view password) const override;
};

} // namespace orvi
