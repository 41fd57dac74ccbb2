#include "core/env/RenderingPolicy.h"

#include <array>

namespace orvi {

bool isSoftwareRenderer(std::string_view glRenderer) {
    std::string lower(glRenderer);
    for (auto& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static constexpr std::array kMarkers = {"llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe"};
    for (const auto* marker : kMarkers)
        if (lower.find(marker) != std::string::npos)
            return true;
    return false;
}

RenderingChoice chooseRendering(const RenderingInputs& inputs) {
    const auto& facts = inputs.facts;
    RenderingChoice choice;
    if (facts.softwareForced) {
        choice.softwareGL = true;
        choice.reason = "LIBGL_ALWAYS_SOFTWARE";
    } else if (!facts.gpuDevicePresent) {
        choice.softwareGL = true;
        choice.reason = "no GPU device";
    } else if (facts.glRenderer && isSoftwareRenderer(*facts.glRenderer)) {
        choice.softwareGL = true;
        choice.reason = *facts.glRenderer;
    } else {
        choice.reason = facts.glRenderer.value_or("GPU device");
    }

    bool drawInSoftware = choice.softwareGL;
    if (inputs.hardwareAcceleration) {
        drawInSoftware = !*inputs.hardwareAcceleration;
        choice.reason += ", setting";
    }
    if (drawInSoftware) {
        choice.acceleratedCompositing = false;
        choice.cairoRenderer = !inputs.userRenderer || inputs.userRenderer->empty();
    }
    return choice;
}

bool toolkitGLUnneeded(const RenderingInputs& inputs) {
    const auto& renderer = inputs.userRenderer;
    const bool cairo = !renderer || renderer->empty() || *renderer == "cairo";
    return cairo && !chooseRendering(inputs).acceleratedCompositing;
}

} // namespace orvi
