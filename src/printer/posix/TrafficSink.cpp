#include "printer/TrafficSink.h"

#include "platform/SystemError.h"
#include "platform/UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

struct TTrafficSink::Handles
{
    UniqueFd fd;
    UniqueFd wake; // an eventfd: new lines, or stop
    bool regular = false;
};

const qsizetype TTrafficSink::WholeWriteBytes = PIPE_BUF;

TTrafficSink::TTrafficSink(std::unique_ptr<Handles> handles) : h_(std::move(handles)) {}

TTrafficSink::~TTrafficSink() = default;

std::unique_ptr<TTrafficSink> TTrafficSink::Open(const QString& path, QString& error)
{
    // Without a reader, opening a FIFO for writing would wait for one for ever; non-blocking it
    // fails at once with ENXIO. Writes stay non-blocking, so a full pipe never holds the writer.
    const QByteArray name = QFile::encodeName(path);
    auto handles = std::make_unique<Handles>();
    handles->fd.Reset(
        ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!handles->fd.IsOpen()) {
        const int why = errno;
        error = why == ENXIO
                    ? QStringLiteral("cannot open the traffic log %1: it is a FIFO that no "
                                     "program reads; start the reader first")
                          .arg(path)
                    : QStringLiteral("cannot open the traffic log %1: %2")
                          .arg(path, QString::fromStdString(UntranslatedError(why)));
        return nullptr;
    }
    struct stat st
    {
    };
    handles->regular = fstat(handles->fd.Get(), &st) == 0 && S_ISREG(st.st_mode);
    handles->wake.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!handles->wake.IsOpen()) {
        error = QStringLiteral("cannot write the traffic log %1: %2")
                    .arg(path, QString::fromStdString(UntranslatedError(errno)));
        return nullptr;
    }
    return std::unique_ptr<TTrafficSink>(new TTrafficSink(std::move(handles)));
}

bool TTrafficSink::Regular() const
{
    return h_->regular;
}

TTrafficSink::Outcome TTrafficSink::Write(const QByteArray& line, qsizetype& offset, int& error)
{
    off_t start = -1;
    if (h_->regular && offset == 0) {
        struct stat st
        {
        };
        if (fstat(h_->fd.Get(), &st) == 0)
            start = st.st_size;
    }
    while (offset < line.size()) {
        const ssize_t n = ::write(h_->fd.Get(), line.constData() + offset, line.size() - offset);
        if (n > 0) {
            offset += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Outcome::Blocked;
        error = n == 0 ? ENOSPC : errno;
        if (h_->regular && offset > 0 && start >= 0) [[maybe_unused]]
            const int cut = ftruncate(h_->fd.Get(), start);
        offset = 0;
        return Outcome::Failed;
    }
    return Outcome::Written;
}

bool TTrafficSink::Wait(bool forWake, bool forRoom, int timeoutMs)
{
    pollfd fds[2] = {{h_->wake.Get(), POLLIN, 0}, {h_->fd.Get(), POLLOUT, 0}};
    pollfd* first = forWake ? &fds[0] : &fds[1];
    const nfds_t count = nfds_t(forWake) + nfds_t(forRoom);
    int ready;
    while ((ready = poll(first, count, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (fds[0].revents & POLLIN) {
        quint64 wakes = 0;
        [[maybe_unused]] const ssize_t n = ::read(h_->wake.Get(), &wakes, sizeof wakes);
    }
    return ready != 0;
}

void TTrafficSink::Wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(h_->wake.Get(), &one, sizeof one);
}

void TTrafficSink::PrepareWriterThread()
{
    // A FIFO whose reader left answers with SIGPIPE, which must not end the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

QString TTrafficSink::ReasonText(int error)
{
    return error == ENOSPC ? QStringLiteral("disco lleno")
                           : QString::fromLocal8Bit(std::strerror(error));
}
