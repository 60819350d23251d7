// PiApp: the application object. It sets the icon and the Japanese UI font, runs the main window
// modally and ends the program when the window closes.
//
// OSKELON_SCREENSHOT=<file.png> (off unless set; for scripts/screenshot.sh): the window starts a
// size-0 run by itself, answers its message boxes on standard error instead of showing them,
// saves an image of itself to the file when the run has ended and closes. The exit status is 0
// when the image was saved.
#pragma once

#include <QApplication>

namespace oskelon::ui {

class PiApp : public QApplication {
    Q_OBJECT

  public:
    PiApp(int& argc, char** argv);

    // Runs the main window until it closes; gives the program's exit status.
    int InitInstance();
};

}  // namespace oskelon::ui
