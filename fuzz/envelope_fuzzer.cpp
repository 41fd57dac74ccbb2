// Opens arbitrary bytes as a password envelope. The first byte chooses how much of the input
// is the password, so both the password and the envelope vary. Every input must either open
// or throw CookieEncryptionError; nothing else may escape.
#include "core/base/Log.h"
#include "core/session/CookieEncryption.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orvi::Log::setSink([](std::string_view) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t passwordSize = std::min<std::size_t>(data[0], size - 1);
    const std::string_view password(reinterpret_cast<const char*>(data + 1), passwordSize);
    const std::string_view envelope(reinterpret_cast<const char*>(data + 1 + passwordSize),
                                    size - 1 - passwordSize);
    orvi::CookieEncryption encryption;
    try {
        auto plain = encryption.decrypt(envelope, password);
        if (plain.size() + orvi::CookieEncryption::kOverhead != envelope.size())
            __builtin_trap();
    } catch (const orvi::CookieEncryptionError&) {
    }
    return 0;
}
