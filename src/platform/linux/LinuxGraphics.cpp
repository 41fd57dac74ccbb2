#include "platform/Graphics.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <epoxy/gl.h>
#include <filesystem>
#include <gtk/gtk.h>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace orvi::platform {

namespace {

bool softwareForcedByEnvironment() {
    // Mesa treats any value but "0" (and "false") as set.
    const char* value = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    return value && *value && std::string_view(value) != "0" && std::string_view(value) != "false";
}

bool renderNodePresent() {
    std::error_code error;
    for (std::filesystem::directory_iterator it("/dev/dri", error), end; !error && it != end;
         it.increment(error))
        if (it->path().filename().string().starts_with("renderD"))
            return true;
    return false;
}

std::optional<std::string> displayGLRenderer() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return std::nullopt;
    GError* error = nullptr;
    GdkGLContext* context = gdk_display_create_gl_context(display, &error);
    if (!context) {
        g_clear_error(&error);
        return std::nullopt;
    }
    std::optional<std::string> renderer;
    if (gdk_gl_context_realize(context, &error)) {
        gdk_gl_context_make_current(context);
        if (const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER)))
            renderer = text;
        gdk_gl_context_clear_current();
    }
    g_clear_error(&error);
    g_object_unref(context);
    return renderer;
}

// EGL finds no vendor and GLX no driver (it falls back to the X server's indirect GL, which
// is too old for the toolkit), so the toolkit's GL set-up fails early and quietly.
constexpr std::array<std::pair<const char*, const char*>, 3> kBlock = {{
    {"__EGL_VENDOR_LIBRARY_FILENAMES", "/dev/null"},
    {"LIBGL_DRIVERS_PATH", "/dev/null"},
    {"LIBGL_DEBUG", "quiet"},
}};

std::vector<const char*> blockedNames() {
    std::vector<const char*> names;
    for (const auto& [name, value] : kBlock)
        names.push_back(name);
    return names;
}

} // namespace

ToolkitGLBlock::ToolkitGLBlock() : m_saved(blockedNames()) {
    for (const auto& [name, value] : kBlock)
        g_setenv(name, value, TRUE);
}

ToolkitGLBlock::~ToolkitGLBlock() {
    m_saved.restore();
}

GraphicsFacts probeGraphics(bool askDriver) {
    GraphicsFacts facts;
    facts.softwareForced = softwareForcedByEnvironment();
    facts.gpuDevicePresent = renderNodePresent();
    if (askDriver && facts.gpuDevicePresent && !facts.softwareForced)
        facts.glRenderer = displayGLRenderer();
    return facts;
}

void disableToolkitGL() {
    // GTK 4.8 reads GDK_DEBUG when it starts, later releases GDK_DISABLE; values set before
    // are kept beside ours.
    for (const auto& [variable, flag] :
         {std::pair{"GDK_DEBUG", "gl-disable"}, std::pair{"GDK_DISABLE", "gl"}}) {
        const std::string earlier = std::getenv(variable) ? std::getenv(variable) : "";
        if (("," + earlier + ",").find(std::string(",") + flag + ",") != std::string::npos)
            continue;
        const std::string value = earlier.empty() ? std::string(flag) : earlier + "," + flag;
        g_setenv(variable, value.c_str(), TRUE);
    }
}

} // namespace orvi::platform
