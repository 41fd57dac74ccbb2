#pragma once

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

// Starts the toolkit without GL on its display. Before the toolkit starts only.
void disableToolkitGL();

} // namespace orvi::platform
