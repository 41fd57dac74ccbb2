#pragma once

#include "core/base/Result.h"
#include "engine/EngineTypes.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvi {

// A browser's cookie database found on this machine.
struct BrowserCookieFile {
    enum class Kind { firefox, chromium };
    Kind kind = Kind::firefox;
    // As named in log lines: "Firefox", "Chromium", "Google Chrome".
    std::string browser;
    // The name under which a Chromium-based browser keeps its key in the keyring.
    std::string keyringApplication;
    std::filesystem::path path;
};

// What one database gave.
struct BrowserCookieRead {
    std::vector<engine::Cookie> cookies;
    // Values that could not be decrypted, with the reason for the log.
    int skipped = 0;
    std::string skippedWhy;
};

// Reads the cookie databases of the Linux browsers. Each database is read from a private
// copy (the browser keeps the file locked while it runs) that is removed afterwards.
class BrowserCookieDatabases {
public:
    // Firefox profiles (plain, snap and flatpak installs) first, then the Chromium and Chrome
    // profiles, each in name order.
    static std::vector<BrowserCookieFile> find(const std::filesystem::path& home);

    static Result<BrowserCookieRead> readFirefox(const std::filesystem::path& file,
                                                 const std::filesystem::path& scratch);

    // `v11Password` is asked, once and only when a value needs it, for the keyring's secret;
    // it returns nothing with the reason when there is none.
    using PasswordSource = std::function<std::optional<std::string>(std::string& why)>;
    static Result<BrowserCookieRead> readChromium(const std::filesystem::path& file,
                                                  const std::filesystem::path& scratch,
                                                  const PasswordSource& v11Password);

    // A Chromium "v10"/"v11" value decrypted with the key derived from `password`; database
    // versions from 24 on put the SHA-256 of the host before the value, checked and removed
    // here. Nothing when the value does not decrypt.
    static std::optional<std::string> decryptChromiumValue(std::string_view encrypted,
                                                           std::string_view password, bool hostDigestPrefix,
                                                           std::string_view host);
    // The counterpart, for tests and benchmarks that need a browser's database.
    static std::string encryptChromiumValue(std::string_view value, std::string_view password,
                                            bool hostDigestPrefix, std::string_view host,
                                            std::string_view prefix = "v10");
};

} // namespace orvi
