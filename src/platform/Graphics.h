#pragma once

#include "platform/EnvironmentSnapshot.h"

#include <optional>
#include <string>

namespace orvi::platform {

// What the machine draws with, as far as can be told before the first window is drawn.
struct GraphicsFacts {
    // Some GPU is reachable (a DRM render node).
    bool gpuDevicePresent = false;
    // The GL stack was told to render in software (LIBGL_ALWAYS_SOFTWARE).
    bool softwareForced = false;
    // GL_RENDERER of a context on the display, when one could be made.
    std::optional<std::string> glRenderer;
};

// Probes the machine's graphics. Asks the GL driver only when a GPU is present and software
// rendering is not forced, since that costs a driver load. Main thread, after the toolkit
// has opened its display and before the first window is shown; without `askDriver` it needs
// no display and may run before the toolkit starts.
GraphicsFacts probeGraphics(bool askDriver = true);

// Tells the toolkit in processes started from now on (the web processes) to leave GL out.
// This GTK honours it only as it starts, and this process's own toolkit has started by then.
void disableToolkitGL();

// While alive, keeps the toolkit from loading a GL driver at all, which the GTK this runs on
// does as it opens its display whatever disableToolkitGL asked: on a software-only machine
// that load alone costs the application about 13 MB. Made before the toolkit starts and ended
// before the web engine starts its processes, which cannot run without the driver.
class ToolkitGLBlock {
public:
    ToolkitGLBlock();
    ~ToolkitGLBlock();
    ToolkitGLBlock(const ToolkitGLBlock&) = delete;
    ToolkitGLBlock& operator=(const ToolkitGLBlock&) = delete;

private:
    EnvironmentSnapshot m_saved;
};

} // namespace orvi::platform
