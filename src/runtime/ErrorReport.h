#pragma once

#include <QString>

#include <exception>
#include <functional>

// Where an error goes that no caller can catch: one thrown by a handler run from a timer, from a
// port's thread or from a hand-over to the UI thread. The program installs one hook at start (the
// window's application object shows the text in a message box); without one the text goes to
// stderr, so code below the widgets never needs a widget stack to report a fault.
using ErrorReportHook = std::function<void(const QString& text)>;

// Replaces the hook; an empty one sends reports to stderr again.
void SetErrorReportHook(ErrorReportHook hook);
void ReportError(const QString& text);

// The text the user sees for an error: our own exceptions carry it, others have what().
QString ErrorText(const std::exception& error);

// Runs a handler; an error that escapes it is reported instead of ending the caller.
template <typename F> void ReportErrors(F&& handler) noexcept
{
    try {
        handler();
    } catch (const std::exception& e) {
        ReportError(ErrorText(e));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
}
