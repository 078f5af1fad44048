#include "app/Form1.h"
#include "app/Startup.h"
#include "runtime/Application.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitApplication();
    {
        const auto form = std::make_unique<TForm1>();
        ShowMainWindow(*form);
        Application().Run();
    } // the window goes here, and with it the port closes
    return 0;
}
