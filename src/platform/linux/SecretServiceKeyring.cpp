#include "platform/linux/SecretServiceKeyring.h"

#include <libsecret/secret.h>

namespace orvi::platform {
namespace {

constexpr SecretSchema schemaNamed(const char* name) {
    return {name,
            SECRET_SCHEMA_DONT_MATCH_NAME,
            {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
            0,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr};
}

// Chromium has stored its password under two schema names; the attribute is what counts,
// so the schema name is not matched.
const SecretSchema kSchemas[] = {schemaNamed("chrome_libsecret_os_crypt_password_v2"),
                                 schemaNamed("chrome_libsecret_os_crypt_password")};

} // namespace

std::optional<std::string> SecretServiceKeyring::safeStoragePassword(const std::string& application,
                                                                     std::string& why) {
    for (const auto& schema : kSchemas) {
        GError* error = nullptr;
        gchar* password = secret_password_lookup_sync(&schema, nullptr, &error, "application",
                                                      application.c_str(), nullptr);
        if (error) {
            why = std::string("the Secret Service did not answer (") + error->message + ")";
            g_error_free(error);
            return std::nullopt;
        }
        if (password) {
            std::string result(password);
            secret_password_free(password);
            return result;
        }
    }
    why = "the Secret Service holds no \"" + application + " Safe Storage\" password";
    return std::nullopt;
}

} // namespace orvi::platform
