// oskelon: the desktop window. Takes no command-line arguments (beyond the toolkit's own).
#include "ui/pi_app.h"

int main(int argc, char** argv) {
    oskelon::ui::PiApp app(argc, argv);
    return app.InitInstance();
}
