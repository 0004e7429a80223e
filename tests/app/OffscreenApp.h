#pragma once

#include <QApplication>

// One QApplication for every window test of the program, on Qt's offscreen platform
// (an 800 x 600 screen). It is never destroyed: at exit Qt's own statics would go
// before it and its input devices with them, and the file dialog leaves threads behind
// that must not outlive it.
inline void EnsureOffscreenApp() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "lumeko";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}
