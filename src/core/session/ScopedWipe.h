#pragma once

#include <openssl/crypto.h>
#include <string>

namespace orvi {

// The plaintext of an export is a whole session: it is wiped when it goes out of scope so it
// does not linger in freed memory.
class ScopedWipe {
public:
    explicit ScopedWipe(std::string& bytes) : m_bytes(bytes) {}
    ~ScopedWipe() { OPENSSL_cleanse(m_bytes.data(), m_bytes.size()); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    std::string& m_bytes;
};

} // namespace orvi
