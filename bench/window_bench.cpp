// Figures of the whole program, started as orvalen starts (InitApplication, the main window,
// ShowMainWindow, the main loop):
//   window_bench startup   milliseconds from process start to the first paint of the window
//   window_bench flow      the procedure on the real clock, driven through the wizard's buttons
//                          against the devices in ORVALEN_COM_DIR: wall and processor time,
//                          share of one core, peak resident memory
//   window_bench flow-traffic   the same with the traffic window open beside the main window
//   window_bench flood     commands to a flooding printer on COM3 for 20 s or more, the record
//                          full of flood reads (10,000 entries): processor share of one core
//   window_bench flood-traffic  the same with the traffic window open
// Run by bench/window.sh, which sets up the printers.

#include "ProcessUsage.h"
#include "app/Form1.h"
#include "app/Startup.h"
#include "printer/Payloads.h"
#include "printer/TrafficRecord.h"
#include "runtime/Application.h"
#include "serial/VaComm.h"
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

int Flood(TForm1& form, bool trafficWindow)
{
    constexpr double Secs = 20;
    Application().SetMessageHook([](const QString&) {});
    // Filled as a flood fills it: a read of about a second of bytes without an ETX each.
    QByteArray read(960, '\0');
    for (qsizetype i = 0; i < TTrafficRecord::Capacity; ++i) {
        for (char& c : read)
            c = char(0x04 + (i * 7 + (&c - read.data())) % 0xF0);
        form.traffic->Received(read);
    }
    ShowMainWindow(form);
    if (trafficWindow)
        form.ShowTraffic();
    form.puerto->SetPortNum(3);
    form.puerto->Open();
    QTimer::singleShot(0, &form, [&form] {
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = CpuSeconds();
        int entries = 0;
        const QObject counting;
        QObject::connect(form.traffic, &TTrafficRecord::Added, &counting,
                         [&entries] { ++entries; });
        int commands = 0;
        // Each command waits out its reply time while the printer floods.
        while (wall.elapsed() < Secs * 1000) {
            form.EnviaComando(PayloadAbreNF());
            ++commands;
        }
        const double wallSecs = wall.elapsed() / 1000.0;
        const double cpuSecs = CpuSeconds() - cpuBefore;
        std::printf("commands: %d, new entries: %d\n", commands, entries);
        std::printf("wall time:        %.3f s\n", wallSecs);
        std::printf("share of a core:  %.3f %%\n", 100.0 * cpuSecs / wallSecs);
        Application().Terminate();
    });
    Application().Run();
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
        if (mode.startsWith("flood"))
            result = Flood(form, mode == "flood-traffic");
        else if (mode.startsWith("flow"))
            result = Flow(form, mode == "flow-traffic");
        else
            result = Startup(form);
    }
    if (!mode.startsWith("flow") && !mode.startsWith("flood"))
        std::printf("peak memory: %.1f MB resident\n", PeakRssMb());
    return result;
}
