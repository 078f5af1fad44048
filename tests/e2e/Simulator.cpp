#include "Simulator.h"

#include <QElapsedTimer>

Simulator::Simulator(const QString& link, const QStringList& options, double timeScale)
{
    QStringList args{QStringLiteral("--link"), link, QStringLiteral("--time-scale"),
                     QString::number(timeScale)};
    args += options;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(ORVALEN_PRINTER_SIM), args);
    if (!process_.waitForStarted(5000))
        return;
    QElapsedTimer waited;
    waited.start();
    while (!log_.contains(QStringLiteral(" EV ready ")) && waited.elapsed() < 5000) {
        process_.waitForReadyRead(500);
        log_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
    }
    ready_ = log_.contains(QStringLiteral(" EV ready "));
}

Simulator::~Simulator()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
}

QString Simulator::Log()
{
    log_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
    return log_;
}

int Simulator::FramesReceived()
{
    int frames = 0;
    for (const QString& line : Log().split(QLatin1Char('\n')))
        if (line.mid(23, 4) == QStringLiteral(" RX "))
            ++frames;
    return frames;
}

QStringList Simulator::Frames()
{
    const QStringList lines = Log().split(QLatin1Char('\n'));
    QStringList frames;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].mid(23, 4) == QStringLiteral(" RX ") &&
            lines[i + 1].mid(23) == QStringLiteral(" EV frame"))
            frames += lines[i];
    return frames;
}
