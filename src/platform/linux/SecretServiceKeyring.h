#pragma once

#include "platform/BrowserKeyring.h"

namespace orvi::platform {

// The Secret Service (GNOME Keyring, KeePassXC, KWallet's bridge) through libsecret, where
// Chromium and Chrome keep their "Safe Storage" password.
class SecretServiceKeyring final : public BrowserKeyring {
public:
    std::optional<std::string> safeStoragePassword(const std::string& application, std::string& why) override;
};

} // namespace orvi::platform
