#include "core/env/RenderingPolicy.h"

#include <gtest/gtest.h>

using namespace orvi;

TEST(RenderingPolicy, SoftwareDriversAreToldFromGPUs) {
    for (const auto* name :
         {"llvmpipe (LLVM 15.0.6, 256 bits)", "Mesa softpipe", "Software Rasterizer", "SWRAST", "lavapipe"})
        EXPECT_TRUE(isSoftwareRenderer(name)) << name;
    for (const auto* name :
         {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)",
          "NVIDIA GeForce GTX 1080/PCIe/SSE2", "virgl", ""})
        EXPECT_FALSE(isSoftwareRenderer(name)) << name;
}

TEST(RenderingPolicy, SoftwareGLDrawsWithCairoAndNoCompositingUnlessTheUserOrTheSettingSaysOtherwise) {
    using Facts = platform::GraphicsFacts;
    struct Case {
        const char* name;
        Facts facts;
        std::optional<std::string> userRenderer;
        std::optional<bool> setting;
        bool softwareGL;
        bool cairo;
        bool compositing;
    };
    const Facts gpu{true, false, "Mesa Intel(R) UHD Graphics 620"};
    const Facts llvmpipe{true, false, "llvmpipe (LLVM 15.0.6, 256 bits)"};
    const Facts noDevice{false, false, std::nullopt};
    const Facts forced{true, true, std::nullopt};
    const Facts unknownDriver{true, false, std::nullopt};
    const auto none = std::nullopt;
    for (const auto& c : {
             Case{"GPU keeps the defaults", gpu, none, none, false, false, true},
             Case{"a GPU whose driver did not answer", unknownDriver, none, none, false, false, true},
             Case{"llvmpipe", llvmpipe, none, none, true, true, false},
             Case{"no GPU device", noDevice, none, none, true, true, false},
             Case{"software forced", forced, none, none, true, true, false},
             Case{"the user's renderer stays", llvmpipe, "gl", none, true, false, false},
             Case{"an empty variable is no choice", noDevice, "", none, true, true, false},
             Case{"the setting asks for GPU paths", llvmpipe, none, true, true, false, true},
             Case{"the setting asks for software on a GPU", gpu, none, false, false, true, false},
             Case{"the setting asks for software, the user keeps GL", gpu, "vulkan", false, false, false,
                  false},
         }) {
        const auto choice = chooseRendering({c.facts, c.userRenderer, c.setting});
        EXPECT_EQ(choice.softwareGL, c.softwareGL) << c.name;
        EXPECT_EQ(choice.cairoRenderer, c.cairo) << c.name;
        EXPECT_EQ(choice.acceleratedCompositing, c.compositing) << c.name;
        EXPECT_FALSE(choice.reason.empty()) << c.name;
    }
}

TEST(RenderingPolicy, TheToolkitSkipsGLOnlyWhenCairoIsCertainWithoutAskingTheDisplay) {
    const platform::GraphicsFacts noDevice{false, false, std::nullopt}, forced{true, true, std::nullopt},
        gpuNotYetAsked{true, false, std::nullopt};
    const auto none = std::nullopt;
    for (const auto& [inputs, unneeded] :
         std::initializer_list<std::pair<RenderingInputs, bool>>{{{noDevice, none, none}, true},
                                                                 {{forced, "cairo", none}, true},
                                                                 {{gpuNotYetAsked, none, none}, false},
             {{gpuNotYetAsked, none, false}, true},
                                                                 {{noDevice, none, true}, false},
                                                                 {{forced, "gl", none}, false}})
        EXPECT_EQ(toolkitGLUnneeded(inputs), unneeded)
            << inputs.facts.gpuDevicePresent << inputs.userRenderer.value_or("");
}
