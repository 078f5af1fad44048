#include "app/Startup.h"

#include "app/Form1.h"
#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include "Version.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

namespace {

// The icon's sizes as compiled into the program (packaging/icon.qrc); absent in test programs.
constexpr int IconSizes[] = {16, 32, 48, 64, 128, 256};

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : IconSizes) {
        const QString path = QStringLiteral(":/orvalen-%1.png").arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

} // namespace

void InitApplication()
{
    Application().Title = QStringLiteral("Orvalen");
    Application().Icon = ProgramIcon();
    QApplication::setApplicationName(QStringLiteral("Orvalen"));
    QApplication::setApplicationVersion(QString::fromLatin1(OrvalenVersion));
    // Lets the desktop match the window to its menu entry (and icon) under Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.orvalen.Orvalen"));
    if (!Application().Icon.isNull())
        QApplication::setWindowIcon(Application().Icon);
    // Our own main loop decides when the program ends (Salir, or the window's close event).
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void ShowMainWindow(TForm1& form)
{
    form.wizard->Loaded();
    form.FormCreate(&form);

    if (const QScreen* screen = form.screen()) {
        QRect place = form.frameGeometry();
        place.moveCenter(screen->availableGeometry().center());
        form.move(place.topLeft());
    }
    form.Titulo->setFocus();
    form.show();
}
