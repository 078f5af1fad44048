#pragma once

// orvalenctl started as a separate process, the way a user or the timer starts it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct CtlRun
{
    int Status = -1;
    QString Out;
    QString Err;
};

inline CtlRun
RunCtl(const QStringList& arguments,
       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVALENCTL), arguments);
    CtlRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Status = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
