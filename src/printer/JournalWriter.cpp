#include "printer/JournalWriter.h"

#include <QFile>
#include <QJsonDocument>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct Line
{
    QString path;
    JobRecord record;
};

QByteArray JsonLine(const JobRecord& record)
{
    return QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact);
}

} // namespace

struct TJournalWriter::Queue
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Line> lines;
    bool busy = false; // the front line is being written
    bool stop = false;
    bool done = false;

    void Run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stop || !lines.empty(); });
            if (stop)
                break;
            const Line line = lines.front();
            busy = true;
            lock.unlock();
            QString error;
            const Journal::Appended appended = Journal(line.path).TryAppend(line.record, error);
            if (appended == Journal::Appended::Failed)
                std::fprintf(stderr, "orvalen: this %s was not recorded in the journal: %s\n",
                             qPrintable(line.record.Command), qPrintable(error));
            lock.lock();
            busy = false;
            // Emptied meanwhile when the window closed during a write that was stuck.
            if (appended != Journal::Appended::Locked && !lines.empty())
                lines.pop_front();
            else
                changed.wait_for(lock, RetryInterval, [this] { return stop; });
            changed.notify_all();
        }
        done = true;
        changed.notify_all();
    }
};

TJournalWriter::TJournalWriter(QObject* parent) : QObject(parent), queue_(std::make_shared<Queue>())
{
    std::thread([queue = queue_] { queue->Run(); }).detach();
}

TJournalWriter::~TJournalWriter()
{
    Drain(ExitWait);
    std::deque<Line> left;
    bool writing = false;
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->stop = true;
        writing = queue_->busy;
        left.swap(queue_->lines);
        queue_->changed.notify_all();
    }
    if (left.empty())
        return;
    std::fprintf(stderr,
                 "orvalen: the journal %s could not be written in time (%s); %s not recorded:\n",
                 QFile::encodeName(left.front().path).constData(),
                 writing ? "a write is stuck" : "another program holds its lock",
                 writing ? "these lines are perhaps" : "these lines were");
    for (const Line& line : left)
        std::fprintf(stderr, "%s\n", JsonLine(line.record).constData());
}

void TJournalWriter::Add(const QString& path, const JobRecord& record)
{
    const std::lock_guard lock(queue_->mutex);
    queue_->lines.push_back({path, record});
    queue_->changed.notify_all();
}

bool TJournalWriter::Drain(std::chrono::milliseconds limit)
{
    std::unique_lock lock(queue_->mutex);
    return queue_->changed.wait_for(
        lock, limit, [this] { return queue_->done || (queue_->lines.empty() && !queue_->busy); });
}
