#include "ctl/StopSignals.h"

#include "platform/UniqueFd.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <unistd.h>

namespace {

std::atomic<int> received{0};
int pipeWriteEnd = -1;
UniqueFd pipeRead;
UniqueFd pipeWrite;
constexpr int Caught[] = {SIGTERM, SIGINT};
struct sigaction earlier[std::size(Caught)];

static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

extern "C" void NoteSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    received.compare_exchange_strong(none, signal);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals()
{
    received = 0;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep ending the program at once
    pipeRead.Reset(ends[0]);
    pipeWrite.Reset(ends[1]);
    pipeWriteEnd = ends[1];
    notifier_ = new QSocketNotifier(pipeRead.Get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(pipeRead.Get(), bytes, sizeof bytes) > 0) {
        }
        emit Stopping(Name());
    });
    struct sigaction action
    {
    };
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: the port's and the journal's calls go on as if nothing came.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Caught); ++i) {
        // A signal ignored by whoever started the program (nohup, a background job) stays so.
        sigaction(Caught[i], nullptr, &earlier[i]);
        if (earlier[i].sa_handler != SIG_IGN)
            sigaction(Caught[i], &action, nullptr);
    }
}

StopSignals::~StopSignals()
{
    if (!notifier_)
        return;
    for (size_t i = 0; i < std::size(Caught); ++i)
        sigaction(Caught[i], &earlier[i], nullptr);
    pipeWriteEnd = -1;
    delete notifier_;
    pipeWrite.Reset();
    pipeRead.Reset();
}

bool StopSignals::Received() const
{
    return received != 0;
}

QString StopSignals::Name() const
{
    switch (received) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    default:
        return {};
    }
}

void StopSignals::EndIfReceived()
{
    const int signal = received;
    if (signal == 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signal);
}
