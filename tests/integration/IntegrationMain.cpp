#include "PrivateSessionBus.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests happens at build time, without a display or a bus.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    // Before gtk_init: GTK connects to the session bus at once and keeps that connection.
    // Programs the tests start inherit this bus too.
    auto bus = std::make_unique<orvi::test::PrivateSessionBus>();
    // The check variant: a test that needs a display fails on its own without one, and this
    // line says why.
    if (!gtk_init_check())
        std::fprintf(stderr, "⚠️ GTK could not open the display '%s'\n",
                     g_getenv("DISPLAY") ? g_getenv("DISPLAY") : "");
    const int result = RUN_ALL_TESTS();
    bus.reset();
    return result;
}
