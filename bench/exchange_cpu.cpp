// Processor time of one unanswered printer exchange on the real clock: the reply wait (30 s) and
// the settling pause (2 s) should sleep in the event loop, not spin a core.
//
// The port is a pseudo-terminal whose other end never answers. Prints the wall time, the
// processor time (user + system) of the whole process and its share of one core.

#include "ProcessUsage.h"
#include "app/Form1.h"
#include "printer/Payloads.h"
#include "serial/VaComm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    int master = -1, slave = -1;
    char name[256] = {};
    if (!dir.isValid() || openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "exchange_cpu: cannot make a pseudo-terminal\n");
        return 1;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    QFile::link(QString::fromLocal8Bit(name), dir.path() + QStringLiteral("/com3"));
    qputenv("ORVALEN_COM_DIR", dir.path().toLocal8Bit());

    TForm1 form;
    form.puerto->SetPortNum(3);
    form.puerto->Open();

    QElapsedTimer wall;
    const double cpuBefore = CpuSeconds();
    wall.start();
    form.EnviaComando(PayloadEstado());
    const double wallSecs = wall.elapsed() / 1000.0;
    const double cpuSecs = CpuSeconds() - cpuBefore;

    std::printf("wall time:        %.3f s\n", wallSecs);
    std::printf("processor time:   %.3f s\n", cpuSecs);
    std::printf("share of a core:  %.3f %%\n", 100.0 * cpuSecs / wallSecs);
    form.puerto->Close();
    ::close(master);
    ::close(slave);
    return cpuSecs / wallSecs <= 0.01 ? 0 : 3;
}
