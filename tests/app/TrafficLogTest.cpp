// The traffic log against sinks that do not take its lines: a FIFO nobody reads, a full disk.

#include "printer/TrafficLog.h"
#include "FormFixture.h"
#include "printer/TrafficRecord.h"
#include "wizard/KWizard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// What a reader finds in the log: whole lines only, and the lines said lost.
struct LogContents
{
    QStringList lines;
    qint64 lost = 0;
};

LogContents Parse(const QByteArray& text)
{
    LogContents contents;
    EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << "a cut line at the end";
    static const QRegularExpression shape(QStringLiteral(R"(^\d{4}-\d\d-\d\dT[\d:.]{12} EV .+$)"));
    static const QRegularExpression lost(QStringLiteral(" EV Registro: se perdieron (\\d+) "));
    for (const QString& line :
         QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.left(80).toStdString();
        if (const QRegularExpressionMatch m = lost.match(line); m.hasMatch())
            contents.lost += m.captured(1).toLongLong();
        else
            contents.lines << line;
    }
    return contents;
}

QString Filler(int n, int size)
{
    return QStringLiteral("%1 ").arg(n, 6, 10, QLatin1Char('0')) + QString(size, QLatin1Char('x'));
}

} // namespace

using TrafficLogSinkTest = FormFixture;

// A FIFO whose reader holds it and never reads: the window goes on, Salir ends the program at
// once, and what the reader finds later is whole lines and the count of those lost.
TEST_F(TrafficLogSinkTest, FifoNobodyReadsNeverHoldsTheWindow)
{
    const QString fifo = dir_.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(TTrafficLog::Open(fifo, error)) << "opened a FIFO without a reader";
    EXPECT_TRUE(error.contains(QStringLiteral("no program reads"))) << error.toStdString();

    const UniqueFd reader(open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK));
    ASSERT_TRUE(reader.IsOpen());
    auto log = TTrafficLog::Open(fifo, error);
    ASSERT_TRUE(log) << error.toStdString();
    log->Follow(*form->traffic);
    // Several times what the pipe and the log's queue hold.
    constexpr int Lines = 4000;
    for (int i = 0; i < Lines; ++i)
        form->traffic->Event(Filler(i, 1000));
    EXPECT_FALSE(log->Drain(200ms));

    form->show();
    form->wizard->ButtonControl(bkCancel)->click(); // Salir
    EXPECT_TRUE(Application().Terminated());
    // The program's end: the log goes, its writer stuck on the pipe.
    QElapsedTimer leaving;
    leaving.start();
    log.reset();
    EXPECT_LT(leaving.elapsed(), 5000) << "the log held the program's end";

    QByteArray text;
    char buffer[65536];
    for (ssize_t n; (n = read(reader.Get(), buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    const LogContents contents = Parse(text);
    EXPECT_GT(contents.lines.size(), 10);
    EXPECT_LT(contents.lines.size(), Lines);
}

// The reader comes back: the first thing after the gap is the count, and nothing else is missing.
TEST_F(TrafficLogSinkTest, ReaderBackFindsTheCountWhereTheGapIs)
{
    const QString fifo = dir_.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const UniqueFd reader(open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK));
    QString error;
    auto log = TTrafficLog::Open(fifo, error);
    ASSERT_TRUE(log) << error.toStdString();
    log->Follow(*form->traffic);
    constexpr int Lines = 3000;
    for (int i = 0; i < Lines; ++i)
        form->traffic->Event(Filler(i, 1000));
    form->traffic->Event(QStringLiteral("last"));

    QByteArray text;
    char buffer[65536];
    QElapsedTimer waited;
    waited.start();
    while (!text.endsWith(" EV last\n") && waited.elapsed() < 30000) {
        const ssize_t n = read(reader.Get(), buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, n);
        else
            QThread::msleep(5);
    }
    const LogContents contents = Parse(text);
    EXPECT_GT(contents.lost, 0);
    EXPECT_EQ(contents.lines.size() + contents.lost, Lines + 1);
    // The lines before the gap are the first ones, in order, and the count comes right after.
    const int before = int(text.left(text.indexOf(" EV Registro:")).count('\n'));
    ASSERT_GT(before, 0);
    EXPECT_TRUE(contents.lines.at(before - 1).endsWith(Filler(before - 1, 1000)));
}

// A disk that fills and is freed again: no cut line, and the count of lines lost after the gap.
TEST(TrafficLogDiskTest, FullDiskLosesWholeLinesAndSaysHowMany)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    if (mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([&] { umount2(mountPoint.constData(), MNT_DETACH); });

    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    QString error;
    const std::unique_ptr<TTrafficLog> log = TTrafficLog::Open(path, error);
    ASSERT_TRUE(log) << error.toStdString();
    TTrafficRecord record;
    log->Follow(record);
    int written = 0;
    for (; written < 120; ++written) // about twice the file system
        record.Event(Filler(written, 1000));
    ASSERT_TRUE(log->Drain(10s));
    const LogContents full = Parse([&] {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }());

    // Room again: the log shrinks as a technician would empty it.
    ASSERT_EQ(truncate(QFile::encodeName(path).constData(), 0), 0);
    record.Event(QStringLiteral("after"));
    ++written;
    ASSERT_TRUE(log->Drain(10s));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const LogContents contents = Parse(file.readAll());
    ASSERT_EQ(contents.lines.size(), 1);
    EXPECT_TRUE(contents.lines.first().endsWith(QStringLiteral(" EV after")));
    EXPECT_GT(contents.lost, 0);
    EXPECT_EQ(full.lines.size() + full.lost + contents.lost, written - 1);
}

// A FIFO whose reader holds it and reads only when the test does, and the log on it.
struct FifoLog
{
    FifoLog()
    {
        EXPECT_EQ(mkfifo(path.constData(), 0600), 0);
        reader.Reset(open(path.constData(), O_RDONLY | O_NONBLOCK));
        QString error;
        log = TTrafficLog::Open(QFile::decodeName(path), error);
        EXPECT_TRUE(log) << error.toStdString();
        if (log)
            log->Follow(record);
    }
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    UniqueFd reader;
    TTrafficRecord record;
    std::unique_ptr<TTrafficLog> log;
};

// The program ends with the pipe full and lines still queued: those are counted too, and the
// count reaches a reader that reads again.
TEST(TrafficLogPipeTest, TheEndCountsWhatItLeavesBehind)
{
    FifoLog fifo;
    ASSERT_TRUE(fifo.log);
    constexpr int Lines = 4000;
    for (int i = 0; i < Lines; ++i)
        fifo.record.Event(Filler(i, 1000));

    // Read until the writer has closed the FIFO, from the moment the program begins to end.
    fcntl(fifo.reader.Get(), F_SETFL, 0);
    QByteArray text;
    std::thread reading([&] {
        char buffer[65536];
        for (ssize_t n; (n = read(fifo.reader.Get(), buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
    });
    fifo.log.reset();
    reading.join();
    const LogContents contents = Parse(text);
    EXPECT_GT(contents.lost, 0);
    EXPECT_EQ(contents.lines.size() + contents.lost, Lines);
}

// An entry whose line is longer than a pipe takes in one write goes out as whole lines of its
// parts; what finds no room at the end is left out whole.
TEST(TrafficLogPipeTest, ALongEntryNeverLeavesHalfALineInAPipe)
{
    FifoLog fifo;
    ASSERT_TRUE(fifo.log);
    // The pipe full of whole pages, then two pages free: room for less than the entry's line.
    const UniqueFd writer(open(fifo.path.constData(), O_WRONLY | O_NONBLOCK));
    const QByteArray page = QByteArray(4095, 'x') + '\n';
    int pages = 0;
    while (write(writer.Get(), page.constData(), page.size()) == page.size())
        ++pages;
    char buffer[65536];
    ASSERT_EQ(read(fifo.reader.Get(), buffer, 2 * page.size()), 2 * page.size());

    fifo.record.Received(QByteArray(3000, 'A'));
    fifo.log.reset();
    // What the pipe holds as the program ends (reading makes room a writer left behind could use).
    int held = 0;
    ASSERT_EQ(ioctl(fifo.reader.Get(), FIONREAD, &held), 0);
    QByteArray text(held, '\0');
    ASSERT_EQ(read(fifo.reader.Get(), text.data(), held), held);
    text = text.mid((pages - 2) * page.size());
    EXPECT_TRUE(text.endsWith('\n')) << "a cut line at the end";
    static const QRegularExpression shape(
        QStringLiteral(R"(^\S+ (RX (41 )*41 \| A+|EV Registro: se perdieron \d+ .+)$)"));
    for (const QString& line : QString::fromLatin1(text).split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.left(80).toStdString();
}
