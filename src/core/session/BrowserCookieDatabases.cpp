#include "core/session/BrowserCookieDatabases.h"

#include "core/base/PrivateFiles.h"
#include "core/base/ProfileId.h"

#include <algorithm>
#include <array>
#include <memory>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sqlite3.h>

namespace orvi {
namespace {

namespace fs = std::filesystem;

// Chromium's fixed parameters for its cookie key on Linux.
inline constexpr std::string_view kChromiumV10Password = "peanuts";
inline constexpr std::string_view kChromiumSalt = "saltysalt";
inline constexpr int kChromiumKeyBytes = 16;
inline constexpr int kHostDigestVersion = 24;
// Chromium counts microseconds from 1601-01-01.
inline constexpr double kWindowsToUnixSeconds = 11644473600.0;

Error readError(const std::string& message) {
    return Error{"BrowserCookieDatabases", 1, message};
}

std::vector<fs::path> sortedSubfolders(const fs::path& folder) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_directory(error))
            folders.push_back(it->path());
    std::sort(folders.begin(), folders.end());
    return folders;
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The database and its journal, copied into a private folder of their own.
class DatabaseCopy {
public:
    static Result<std::unique_ptr<DatabaseCopy>> make(const fs::path& file, const fs::path& scratch) {
        auto copy = std::unique_ptr<DatabaseCopy>(new DatabaseCopy);
        copy->m_folder = scratch / ("OrviWrapperBrowserCookies_" + ProfileId::generate().text());
        if (auto made = makePrivateFolder(copy->m_folder); !made)
            return made.error();
        copy->m_file = copy->m_folder / "cookies.sqlite";
        for (const char* suffix : {"-wal", ""}) {
            const fs::path from = file.string() + suffix;
            if (!*suffix || isFile(from)) {
                std::error_code error;
                const fs::path to = copy->m_file.string() + suffix;
                if (auto made = makePrivateFile(to); !made)
                    return made.error();
                fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
                if (error)
                    return readError("Cannot copy " + from.string() + ": " + error.message());
            }
        }
        return copy;
    }
    ~DatabaseCopy() {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    const fs::path& file() const { return m_file; }

private:
    DatabaseCopy() = default;
    fs::path m_folder;
    fs::path m_file;
};

struct Database {
    sqlite3* handle = nullptr;
    ~Database() { sqlite3_close_v2(handle); }
};

using RowHandler = std::function<void(sqlite3_stmt*)>;

Result<std::monostate> query(const Database& db, const char* statement, const RowHandler& row) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db.handle, statement, -1, &prepared, nullptr) != SQLITE_OK)
        return readError(sqlite3_errmsg(db.handle));
    int status;
    while ((status = sqlite3_step(prepared)) == SQLITE_ROW)
        row(prepared);
    sqlite3_finalize(prepared);
    if (status != SQLITE_DONE)
        return readError(sqlite3_errmsg(db.handle));
    return std::monostate{};
}

std::string text(sqlite3_stmt* row, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_blob(row, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(row, column)))
                 : std::string();
}

Result<std::unique_ptr<DatabaseCopy>> openCopy(const fs::path& file, const fs::path& scratch, Database& db) {
    auto copy = DatabaseCopy::make(file, scratch);
    if (!copy)
        return copy;
    if (sqlite3_open_v2(copy.value()->file().c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        return readError("Cannot open the copy of " + file.string() + ": " + sqlite3_errmsg(db.handle));
    return copy;
}

std::array<unsigned char, kChromiumKeyBytes> chromiumKey(std::string_view password) {
    std::array<unsigned char, kChromiumKeyBytes> key{};
    PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                           reinterpret_cast<const unsigned char*>(kChromiumSalt.data()),
                           static_cast<int>(kChromiumSalt.size()), 1, kChromiumKeyBytes, key.data());
    return key;
}

std::string sha256(std::string_view bytes) {
    std::string digest(SHA256_DIGEST_LENGTH, '\0');
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
           reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

std::optional<std::string> aes128cbc(bool encrypt, std::string_view input, std::string_view password) {
    const auto key = chromiumKey(password);
    const std::string iv(16, ' ');
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::string output(input.size() + 32, '\0');
    int length = 0;
    int finalLength = 0;
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key.data(),
                          reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(output.data()), &length,
                         reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(output.data()) + length,
                           &finalLength) != 1)
        return std::nullopt;
    output.resize(static_cast<std::size_t>(length + finalLength));
    return output;
}

std::optional<std::string> sameSiteText(int value, bool chromium) {
    // Chromium: -1 unspecified, 0 none, 1 lax, 2 strict. Firefox: 0 none, 1 lax, 2 strict,
    // where its 0 is also what an unspecified attribute was stored as.
    if (value == 1)
        return "lax";
    if (value == 2)
        return "strict";
    if (value == 0 && chromium)
        return "none";
    return std::nullopt;
}

} // namespace

std::vector<BrowserCookieFile> BrowserCookieDatabases::find(const fs::path& home) {
    std::vector<BrowserCookieFile> files;
    for (const auto& base : {home / ".mozilla/firefox", home / "snap/firefox/common/.mozilla/firefox",
                             home / ".var/app/org.mozilla.firefox/.mozilla/firefox"})
        for (const auto& profile : sortedSubfolders(base))
            if (isFile(profile / "cookies.sqlite"))
                files.push_back(
                    {BrowserCookieFile::Kind::firefox, "Firefox", {}, profile / "cookies.sqlite"});
    struct Chromium {
        fs::path base;
        const char* browser;
        const char* application;
    };
    for (const auto& [base, browser, application] :
         {Chromium{home / ".config/chromium", "Chromium", "chromium"},
          Chromium{home / "snap/chromium/common/chromium", "Chromium", "chromium"},
          Chromium{home / ".var/app/org.chromium.Chromium/config/chromium", "Chromium", "chromium"},
          Chromium{home / ".config/google-chrome", "Google Chrome", "chrome"}})
        for (const auto& profile : sortedSubfolders(base))
            for (const auto& file : {profile / "Network" / "Cookies", profile / "Cookies"})
                if (isFile(file)) {
                    files.push_back({BrowserCookieFile::Kind::chromium, browser, application, file});
                    break;
                }
    return files;
}

Result<BrowserCookieRead> BrowserCookieDatabases::readFirefox(const fs::path& file, const fs::path& scratch) {
    Database db;
    auto copy = openCopy(file, scratch, db);
    if (!copy)
        return copy.error();
    BrowserCookieRead read;
    // Cookies of containers and partitioned third-party cookies belong to other contexts.
    auto done =
        query(db,
              "SELECT host, name, value, path, expiry, isSecure, isHttpOnly, sameSite FROM moz_cookies"
              " WHERE originAttributes = '' ORDER BY id",
              [&read](sqlite3_stmt* row) {
                  engine::Cookie cookie;
                  cookie.domain = text(row, 0);
                  cookie.name = text(row, 1);
                  cookie.value = text(row, 2);
                  cookie.path = text(row, 3);
                  // Newer Firefox versions count the expiry in milliseconds.
                  auto expiry = static_cast<double>(sqlite3_column_int64(row, 4));
                  cookie.expiresDate = expiry > 1e11 ? expiry / 1000.0 : expiry;
                  cookie.isSecure = sqlite3_column_int(row, 5) != 0;
                  cookie.isHTTPOnly = sqlite3_column_int(row, 6) != 0;
                  cookie.sameSitePolicy = sameSiteText(sqlite3_column_int(row, 7), false);
                  read.cookies.push_back(std::move(cookie));
              });
    if (!done)
        return done.error();
    return read;
}

Result<BrowserCookieRead> BrowserCookieDatabases::readChromium(const fs::path& file, const fs::path& scratch,
                                                               const PasswordSource& v11Password) {
    Database db;
    auto copy = openCopy(file, scratch, db);
    if (!copy)
        return copy.error();
    int version = 0;
    auto meta = query(db, "SELECT value FROM meta WHERE key = 'version'",
                      [&version](sqlite3_stmt* row) { version = std::atoi(text(row, 0).c_str()); });
    if (!meta)
        return meta.error();
    const bool hostDigest = version >= kHostDigestVersion;

    BrowserCookieRead read;
    std::optional<std::optional<std::string>> keyringPassword;
    auto done =
        query(db,
              "SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, is_httponly, "
              "has_expires,"
              " samesite FROM cookies ORDER BY creation_utc",
              [&](sqlite3_stmt* row) {
                  engine::Cookie cookie;
                  cookie.domain = text(row, 0);
                  cookie.name = text(row, 1);
                  cookie.value = text(row, 2);
                  const auto encrypted = text(row, 3);
                  if (!encrypted.empty()) {
                      const auto prefix = encrypted.substr(0, 3);
                      std::optional<std::string> password;
                      if (prefix == "v10") {
                          password = std::string(kChromiumV10Password);
                      } else if (prefix == "v11") {
                          if (!keyringPassword)
                              keyringPassword = v11Password ? v11Password(read.skippedWhy) : std::nullopt;
                          password = *keyringPassword;
                      } else {
                          read.skippedWhy = "values in an unknown encryption scheme";
                      }
                      auto value = password
                                       ? decryptChromiumValue(encrypted, *password, hostDigest, cookie.domain)
                                       : std::nullopt;
                      if (!value) {
                          if (password)
                              read.skippedWhy = "values that do not decrypt with the browser's key";
                          ++read.skipped;
                          return;
                      }
                      cookie.value = std::move(*value);
                  }
                  cookie.path = text(row, 4);
                  if (sqlite3_column_int(row, 8) != 0)
                      cookie.expiresDate =
                          static_cast<double>(sqlite3_column_int64(row, 5)) / 1e6 - kWindowsToUnixSeconds;
                  cookie.isSecure = sqlite3_column_int(row, 6) != 0;
                  cookie.isHTTPOnly = sqlite3_column_int(row, 7) != 0;
                  cookie.sameSitePolicy = sameSiteText(sqlite3_column_int(row, 9), true);
                  read.cookies.push_back(std::move(cookie));
              });
    if (!done)
        return done.error();
    return read;
}

std::optional<std::string> BrowserCookieDatabases::decryptChromiumValue(std::string_view encrypted,
                                                                        std::string_view password,
                                                                        bool hostDigestPrefix,
                                                                        std::string_view host) {
    if (encrypted.size() < 3)
        return std::nullopt;
    auto plain = aes128cbc(false, encrypted.substr(3), password);
    if (!plain || !hostDigestPrefix)
        return plain;
    // The digest binds the value to its host: a value moved to another row does not pass.
    if (plain->size() < SHA256_DIGEST_LENGTH || plain->compare(0, SHA256_DIGEST_LENGTH, sha256(host)) != 0)
        return std::nullopt;
    return plain->substr(SHA256_DIGEST_LENGTH);
}

std::string BrowserCookieDatabases::encryptChromiumValue(std::string_view value, std::string_view password,
                                                         bool hostDigestPrefix, std::string_view host,
                                                         std::string_view prefix) {
    const std::string plain = (hostDigestPrefix ? sha256(host) : std::string()) + std::string(value);
    return std::string(prefix) + aes128cbc(true, plain, password).value_or(std::string());
}

} // namespace orvi
