#include "app/Startup.h"

#include "app/Form1.h"
#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include "Version.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

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

// Qt's own texts (message-box buttons, edit-box menus) in Spanish like the rest of the window,
// whatever the desktop's language; English stays when the translations are not installed.
void LoadQtSpanish()
{
    const QString name = QStringLiteral("qtbase_es");
    if (QCoreApplication::instance()->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly))
        return; // loaded by an earlier start in the same process (tests)
    auto* translator = new QTranslator(QCoreApplication::instance());
    translator->setObjectName(name);
    if (translator->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
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
    LoadQtSpanish();
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
