#include "platform/linux/XdgPaths.h"

#include <glib.h>

namespace orvi::platform {
namespace {

constexpr const char* kFolderName = "orvi-wrapper";

std::filesystem::path specialDirOrHome(GUserDirectory directory) {
    if (const char* dir = g_get_user_special_dir(directory); dir && *dir)
        return dir;
    return g_get_home_dir();
}

} // namespace

Paths makeXdgPaths() {
    Paths paths;
    paths.configDir = std::filesystem::path(g_get_user_config_dir()) / kFolderName;
    paths.dataDir = std::filesystem::path(g_get_user_data_dir()) / kFolderName;
    paths.cacheDir = std::filesystem::path(g_get_user_cache_dir()) / kFolderName;
    paths.documentsDir = specialDirOrHome(G_USER_DIRECTORY_DOCUMENTS);
    paths.downloadsDir = specialDirOrHome(G_USER_DIRECTORY_DOWNLOAD);
    paths.tempDir = g_get_tmp_dir();
    return paths;
}

} // namespace orvi::platform
