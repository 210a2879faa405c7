// Runs the Qt tests without a display unless one is asked for.
#include <cstdlib>
#include <gtest/gtest.h>

// Read by LeakSanitizer in the asan build: fontconfig, which Qt uses for its
// fonts, keeps its configuration in memory it never frees, and so does D-Bus,
// which Qt connects to on an X display (the window manager check).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
