// The window tests run inside the program's own application object. Without a display they use
// Qt's offscreen platform; a run under Xvfb sets QT_QPA_PLATFORM=xcb. Before anything else the
// records store, the runtime directory and the caches are pointed into a temporary directory, so
// that not even the test listing touches the user's own files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "ui/pi_app.h"

int main(int argc, char** argv) {
    std::string root = (std::filesystem::temp_directory_path() / "oskelon-ui-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) return 2;
    for (const char* name :
         {"XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        const std::string path = root + "/" + name;
        ::mkdir(path.c_str(), 0700);
        setenv(name, path.c_str(), 1);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    ::testing::InitGoogleTest(&argc, argv);
    oskelon::ui::PiApp app(argc, argv);
    const int status = RUN_ALL_TESTS();

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
