#include "core/profiles/LeftoverSessions.h"

#include "core/prefs/PreferenceKeys.h"

#include <set>
#include <system_error>

namespace orvi {

std::vector<ProfileId> findLeftoverSessions(const PreferencesStore& preferences,
                                            const std::vector<std::filesystem::path>& engineFolders) {
    std::set<ProfileId> found;
    for (const auto prefix : {keys::kCookiesPrefix, keys::kStoragePrefix})
        for (const auto& key : preferences.keysWithPrefix(prefix))
            if (auto id = ProfileId::parse(std::string_view(key).substr(prefix.size())))
                found.insert(*id);
    for (const auto& folder : engineFolders) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error))
            if (it->is_directory(error))
                if (auto id = ProfileId::parse(it->path().filename().string()))
                    found.insert(*id);
    }
    return {found.begin(), found.end()};
}

} // namespace orvi
