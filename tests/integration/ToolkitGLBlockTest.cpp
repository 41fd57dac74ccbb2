#include "platform/Graphics.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace

// The web processes inherit the environment and cannot run without the GL driver: whatever the
// block set must be exactly as before once it ends, set or unset.
TEST(ToolkitGLBlock, BlocksTheGLLoadersOnlyWhileAliveAndRestoresWhatWasThere) {
    const char* names[] = {"__EGL_VENDOR_LIBRARY_FILENAMES", "LIBGL_DRIVERS_PATH", "LIBGL_DEBUG"};
    for (const bool setBefore : {false, true}) {
        for (const char* name : names) {
            if (setBefore)
                setenv(name, "earlier", 1);
            else
                unsetenv(name);
        }
        {
            orvi::platform::ToolkitGLBlock block;
            for (const char* name : names)
                EXPECT_TRUE(variable(name) && *variable(name) != "earlier") << name;
        }
        for (const char* name : names) {
            EXPECT_EQ(variable(name), setBefore ? std::optional<std::string>("earlier") : std::nullopt)
                << name;
            unsetenv(name);
        }
    }
}
