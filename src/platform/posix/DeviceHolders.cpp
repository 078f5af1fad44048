#include "platform/DeviceHolders.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct CloseDir
{
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, CloseDir>;

DirHandle OpenDir(const QByteArray& path)
{
    return DirHandle(opendir(path.constData()));
}

// Plain readdir, no QDir: its filters stat every entry, and a stat that follows a descriptor to
// a file on a stalled network share does not return.
QList<QByteArray> Entries(const QByteArray& path)
{
    QList<QByteArray> names;
    const DirHandle dir = OpenDir(path);
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] != '.')
            names.append(QByteArray(entry->d_name));
    }
    return names;
}

// argv[0] gives the full name; the kernel's "comm" is cut to 15 characters and serves only when
// the command line is empty (kernel threads) or hidden.
QString ProgramName(const QByteArray& procDir)
{
    QFile cmdline(QFile::decodeName(procDir + "/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray argv0 = cmdline.read(4096).split('\0').value(0);
        if (!argv0.isEmpty())
            return QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
    }
    QFile comm(QFile::decodeName(procDir + "/comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll().trimmed());
    return {};
}

// The pseudo-terminal's number behind a slave device (/dev/pts/N), if it is one.
std::optional<long> PseudoTerminalNumber(dev_t device)
{
    const unsigned m = major(device);
    if (m < 136 || m > 143)
        return std::nullopt;
    return long(m - 136) * 256 + long(minor(device));
}

// The master side of pseudo-terminal `number`: the kernel gives its number in fdinfo.
bool IsMasterOf(const QByteArray& procDir, const QByteArray& fd, long number)
{
    QFile info(QFile::decodeName(procDir + "/fdinfo/" + fd));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : info.read(4096).split('\n')) {
        if (line.startsWith("tty-index:"))
            return line.mid(10).trimmed().toLong() == number;
    }
    return false;
}

bool HoldsDevice(const QByteArray& procDir, dev_t device)
{
    // A pseudo-terminal is open at its other end by the program that plays the device there
    // (the printer simulator keeps the slave open as well, so that the master never sees a
    // hang-up): that program serves the line, it does not compete for it.
    const std::optional<long> pty = PseudoTerminalNumber(device);
    bool holds = false;
    // Another user's descriptors are not listed to us: the folder cannot be read.
    const QByteArray fdDir = procDir + "/fd/";
    for (const QByteArray& entry : Entries(fdDir)) {
        const QByteArray link = fdDir + entry;
        // Only descriptors of device files are worth a stat(); the rest (sockets, pipes, files)
        // are known by the text of the link.
        char target[64];
        const ssize_t n = readlink(link.constData(), target, sizeof target);
        if (n < 5 || QByteArray(target, int(n)).left(5) != "/dev/")
            continue;
        const QByteArray path(target, int(n));
        if (pty && (path == "/dev/ptmx" || path == "/dev/pts/ptmx") &&
            IsMasterOf(procDir, entry, *pty))
            return false;
        struct stat st;
        if (stat(link.constData(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device)
            holds = true;
    }
    return holds;
}

} // namespace

QList<DeviceHolder> OtherHoldersOf(const QByteArray& path)
{
    struct stat st;
    if (stat(path.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return {};
    return OtherHoldersOf(st.st_rdev);
}

QList<DeviceHolder> OtherHoldersOf(dev_t device)
{
    QList<DeviceHolder> holders;
    const pid_t self = getpid();
    for (const QByteArray& name : Entries("/proc")) {
        bool isPid = false;
        const pid_t pid = pid_t(name.toLong(&isPid));
        if (!isPid || pid == self)
            continue;
        const QByteArray procDir = "/proc/" + name;
        if (HoldsDevice(procDir, device))
            holders.append({pid, ProgramName(procDir)});
    }
    return holders;
}
