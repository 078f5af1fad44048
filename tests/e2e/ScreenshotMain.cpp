// Starts the main window as the program does, steps through the procedure with its buttons
// against the printer the caller set up (ORVALEN_COM_DIR), and saves a picture of the window as
// the X server shows it after each step, and of the message box on Proceder.
// Usage: window_screenshots OUTPUT-DIR (run by scripts/screenshots.sh).

#include "app/Form1.h"
#include "app/Startup.h"
#include "app/TrafficWindow.h"
#include "runtime/Application.h"
#include "runtime/Wait.h"
#include "wizard/KWizard.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

QString outDir;
int failures = 0;

void Save(QWidget* window, const QString& name)
{
    // The last change painted and through to the X server before grabbing it.
    if (!QTest::qWaitForWindowExposed(window))
        ++failures;
    window->repaint();
    QGuiApplication::sync();
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    const QString path = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
}

void Click(TForm1& form, int kind)
{
    QTest::mouseClick(form.wizard->ButtonControl(kind), Qt::LeftButton);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QDir().mkpath(outDir);
    InitApplication();
    QStringList iconSizes;
    for (const QSize& size : Application().Icon.availableSizes())
        iconSizes << QString::number(size.width());
    std::printf("window icon sizes: %s\n", qPrintable(iconSizes.join(QLatin1Char(' '))));

    TForm1 form;
    ShowMainWindow(form);
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    Save(&form, QStringLiteral("1-welcome"));

    bool searchEnded = false;
    QObject::connect(&form, &TForm1::PortTextShown, [&](const QString& text) {
        searchEnded = !text.startsWith(QStringLiteral("Evaluando"));
    });
    Click(form, bkNext);
    WaitUntil(Now() + Seconds(900), [&] { return searchEnded; });
    Save(&form, QStringLiteral("2-port"));

    Click(form, bkNext); // returns after the Z report
    Save(&form, QStringLiteral("3-report"));

    Click(form, bkNext);
    Save(&form, QStringLiteral("4-date"));

    // The result of Proceder comes in a modal box: picture it, then close it.
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        boxWatch.stop();
        Save(box, QStringLiteral("5-message"));
        box->close();
    });
    boxWatch.start(100);
    Click(form, bkFinish);
    Save(&form, QStringLiteral("6-tests-enabled"));

    // The traffic window beside the main window, with the Z report's frame selected.
    form.ShowTraffic();
    TTrafficWindow* traffic = form.TrafficWindow();
    if (!QTest::qWaitForWindowExposed(traffic))
        return 1;
    traffic->Table()->selectRow(8);
    Save(traffic, QStringLiteral("7-traffic"));

    Click(form, bkCancel);
    return failures == 0 ? 0 : 2;
}
