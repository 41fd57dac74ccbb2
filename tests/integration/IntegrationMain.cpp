#include <gtest/gtest.h>
#include <gtk/gtk.h>

// Integration tests drive real GTK widgets and web views, so GTK is set up once before any
// test runs; each test runs in its own process (see tests/CMakeLists.txt).
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    gtk_init();
    return RUN_ALL_TESTS();
}
