#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

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
// has opened its display and before the first window is shown.
GraphicsFacts probeGraphics();

// While alive, keeps the toolkit from loading a GL driver when the machine can only render GL
// in software: there the window is drawn with cairo anyway, and the software driver's load
// alone costs each process about 10 MB. Made before the toolkit opens its display and ended
// before the web engine starts its processes, which need the driver. The user's GSK_RENDERER
// is respected: a block is made only when none is set.
class ToolkitGLBlock {
public:
    ToolkitGLBlock();
    ~ToolkitGLBlock();
    ToolkitGLBlock(const ToolkitGLBlock&) = delete;
    ToolkitGLBlock& operator=(const ToolkitGLBlock&) = delete;
    void end();

private:
    bool m_active = false;
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

} // namespace orvi::platform
