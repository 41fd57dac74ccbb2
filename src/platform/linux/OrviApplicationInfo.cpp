#include "platform/linux/OrviApplicationInfo.h"

namespace orvi::platform {

const ApplicationInfo& orviApplicationInfo() {
    static const TableApplicationInfo info(
        {
            {"NSCameraUsageDescription", "OrviWrapper использует камеру для видеозвонков в ORVI."},
            {"NSMicrophoneUsageDescription",
             "OrviWrapper использует микрофон для звонков и голосовых сообщений в ORVI."},
            {"CFBundleDisplayName", kApplicationName},
            {"CFBundleName", kApplicationName},
        },
        kApplicationId);
    return info;
}

} // namespace orvi::platform
