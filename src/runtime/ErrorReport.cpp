#include "runtime/ErrorReport.h"

#include "runtime/Exception.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace {

QMutex hookLock;
ErrorReportHook& Hook()
{
    static ErrorReportHook hook;
    return hook;
}

} // namespace

void SetErrorReportHook(ErrorReportHook hook)
{
    const QMutexLocker lock(&hookLock);
    Hook() = std::move(hook);
}

void ReportError(const QString& text)
{
    ErrorReportHook hook;
    {
        // A copy, so a hook that opens a modal box does not hold the lock while it shows.
        const QMutexLocker lock(&hookLock);
        hook = Hook();
    }
    if (hook) {
        hook(text);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

QString ErrorText(const std::exception& error)
{
    if (auto* own = dynamic_cast<const Exception*>(&error))
        return own->Message();
    return QString::fromUtf8(error.what());
}
