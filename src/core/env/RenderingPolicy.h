#pragma once

#include "platform/Graphics.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// How the window and the pages are drawn. On a software GL driver the GL paths cost much
// memory and time and buy nothing, so there the toolkit draws with cairo and the web engine
// composites without GL.
struct RenderingChoice {
    bool softwareGL = false;
    // Ask the toolkit for its cairo renderer (GSK_RENDERER=cairo).
    bool cairoRenderer = false;
    bool acceleratedCompositing = true;
    // Why, for the start-up log: the driver or the setting that decided.
    std::string reason;
};

struct RenderingInputs {
    platform::GraphicsFacts facts;
    // GSK_RENDERER as the user set it; the user's renderer is never replaced.
    std::optional<std::string> userRenderer;
    // The hardware-acceleration setting: absent decides from the facts.
    std::optional<bool> hardwareAcceleration;
};

// True for Mesa's and other CPU rasterisers' GL_RENDERER strings.
bool isSoftwareRenderer(std::string_view glRenderer);

RenderingChoice chooseRendering(const RenderingInputs& inputs);

// Whether the toolkit can be started without setting up GL on its display: the pages
// composite without GL and the toolkit draws with cairo, whoever chose it. Facts gathered
// before there is a display know no GL renderer, and a GPU not asked counts as a real one.
bool toolkitGLUnneeded(const RenderingInputs& inputs);

} // namespace orvi
