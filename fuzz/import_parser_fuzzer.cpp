// Feeds arbitrary bytes to everything the plain import reads before it touches a store: the
// format detection, both cookie readings, the storage snapshot and its restore scripts, and
// the log-safe preview.
#include "core/base/Log.h"
#include "core/session/CookieDictionary.h"
#include "core/session/ImportFormat.h"
#include "core/session/StorageSnapshot.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orvi::Log::setSink([](std::string_view) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)orvi::DataPreview::of(bytes);
    const auto input = orvi::ImportInput::detect(bytes);
    const orvi::Json* dictionaries = nullptr;
    if (input.kind == orvi::ImportInput::Kind::cookieArray)
        dictionaries = &input.array;
    else if (input.kind == orvi::ImportInput::Kind::document && input.cookies)
        dictionaries = &*input.cookies;
    if (dictionaries) {
        for (const auto& dictionary : *dictionaries) {
            if (auto cookie = orvi::cookies::readLenient(dictionary))
                (void)orvi::cookies::toDictionary(*cookie).dump();
            (void)orvi::cookies::readStrict(dictionary);
        }
    }
    if (input.kind == orvi::ImportInput::Kind::document && input.storage) {
        auto snapshot = orvi::StorageSnapshot::fromJson(*input.storage);
        if (!snapshot)
            __builtin_trap(); // detection promised a snapshot
        (void)snapshot->localRestoreScript();
        (void)snapshot->sessionRestoreScript();
    }
    if (auto snapshot = orvi::StorageSnapshot::parse(bytes)) {
        (void)snapshot->localRestoreScript();
        (void)snapshot->sessionRestoreScript();
    }
    return 0;
}
