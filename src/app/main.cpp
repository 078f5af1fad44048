#include "app/Form1.h"
#include "app/Startup.h"
#include "runtime/Application.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Qt aborts with a terse message when it finds no display; say what is missing instead.
bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (!HasDisplay()) {
        std::fputs(
            "No display found: neither DISPLAY nor WAYLAND_DISPLAY is set. Run Orvalen in a "
            "desktop session, under xvfb-run, or with QT_QPA_PLATFORM set (e.g. offscreen).\n",
            stderr);
        return 1;
    }
    QApplication app(argc, argv);
    InitApplication();
    {
        const auto form = std::make_unique<TForm1>();
        ShowMainWindow(*form);
        Application().Run();
    } // the window goes here, and with it the port closes
    return 0;
}
