// Figures of the whole program, started as orvalen starts (InitApplication, the main window,
// ShowMainWindow, the main loop):
//   window_bench startup   milliseconds from process start to the first paint of the window
//   window_bench flow      the procedure on the real clock, driven through the wizard's buttons
//                          against the devices in ORVALEN_COM_DIR: wall and processor time,
//                          share of one core, peak resident memory
//   window_bench flow-traffic   the same with the traffic window open beside the main window
// Run by bench/window.sh, which sets up the printers.

#include "ProcessUsage.h"
#include "app/Form1.h"
#include "app/Startup.h"
#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

// Peak resident set size in MB.
double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Milliseconds since the process started: from the launcher's clock reading when it passes one
// (ORVALEN_BENCH_T0_NS, nanoseconds of the real-time clock), else from the kernel's start time.
double MsSinceProcessStart()
{
    timespec now{};
    const QByteArray t0 = qgetenv("ORVALEN_BENCH_T0_NS");
    if (!t0.isEmpty()) {
        clock_gettime(CLOCK_REALTIME, &now);
        return (now.tv_sec * 1e9 + now.tv_nsec - t0.toDouble()) / 1e6;
    }
    QFile stat(QStringLiteral("/proc/self/stat"));
    stat.open(QIODevice::ReadOnly);
    const QByteArray line = stat.readAll();
    // Field 22 is the start time in clock ticks after boot; fields after the name's ')' start
    // at field 3.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startSecs = fields.value(19).toDouble() / double(sysconf(_SC_CLK_TCK));
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9 - startSecs) * 1e3;
}

class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (!seen && e->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_) {
            seen = true;
            std::printf("first paint: %.1f ms after process start\n", MsSinceProcessStart());
            Application().Terminate();
        }
        return false;
    }
    bool seen = false;

private:
    QWidget* window_;
};

int Startup(TForm1& form)
{
    FirstPaint paint(&form);
    qApp->installEventFilter(&paint);
    ShowMainWindow(form);
    Application().Run();
    qApp->removeEventFilter(&paint);
    return paint.seen ? 0 : 1;
}

int Flow(TForm1& form, bool trafficWindow)
{
    Application().SetMessageHook(
        [](const QString& text) { std::printf("message: %s\n", qPrintable(text)); });
    const auto click = [&form](int kind) {
        QMetaObject::invokeMethod(
            &form, [&form, kind] { form.wizard->ButtonControl(kind)->click(); },
            Qt::QueuedConnection);
    };
    // Each click returns when its handler is over; the search runs in a timer tick of its own.
    QObject::connect(&form, &TForm1::PortTextShown, [&](const QString& text) {
        if (text.startsWith(QStringLiteral("Evaluando")))
            return;
        std::printf("search: %s\n", qPrintable(text));
        QMetaObject::invokeMethod(
            &form,
            [&form] {
                form.wizard->ButtonControl(bkNext)->click();   // Z report
                form.wizard->ButtonControl(bkNext)->click();   // date page
                form.wizard->ButtonControl(bkFinish)->click(); // date and time
                form.wizard->ButtonControl(bkCancel)->click();
            },
            Qt::QueuedConnection);
    });

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = CpuSeconds();
    ShowMainWindow(form);
    if (trafficWindow)
        form.ShowTraffic();
    click(bkNext);
    Application().Run();
    const double wallSecs = wall.elapsed() / 1000.0;
    const double cpuSecs = CpuSeconds() - cpuBefore;
    std::printf("wall time:        %.3f s\n", wallSecs);
    std::printf("processor time:   %.3f s\n", cpuSecs);
    std::printf("share of a core:  %.3f %%\n", 100.0 * cpuSecs / wallSecs);
    std::printf("processor time with start-up: %.3f s\n", CpuSeconds());
    std::printf("peak memory:      %.1f MB resident\n", PeakRssMb());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("startup");
    QApplication app(argc, argv);
    InitApplication();
    int result = 0;
    {
        TForm1 form;
        result = mode.startsWith("flow") ? Flow(form, mode == "flow-traffic") : Startup(form);
    }
    if (!mode.startsWith("flow"))
        std::printf("peak memory: %.1f MB resident\n", PeakRssMb());
    return result;
}
