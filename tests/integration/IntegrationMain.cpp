#include <gtest/gtest.h>
#include <gtk/gtk.h>

int main(int argc, char** argv) {
    // The check variant: test discovery runs this binary at build time, without a display.
    gtk_init_check();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
