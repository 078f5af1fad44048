#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>

// The application object: title, the process-messages step, the main loop with its terminate
// flag, message boxes, and the handler of errors that escape an event handler.
class TApplication
{
public:
    // Installs itself as the error-report hook (runtime/ErrorReport.h): errors that no caller
    // can catch, from timers and the port's threads, are shown like those of event handlers.
    TApplication();

    QString Title;
    QIcon Icon;

    // Handles every message waiting in the queue, then returns.
    void ProcessMessages();

    // Runs the main loop until Terminate. The loop is our own: a wait that is under way when
    // Terminate is called runs to its end, and a message box it opens still shows.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // For a program (or a test) that runs the main loop again after it ended.
    void ClearTerminated() { terminated_ = false; }

    // A modal box with the text, one OK button and the title as caption.
    void MessageBox(const QString& text);
    // Tests replace the box: the hook receives the text and the box is not shown.
    using MessageHook = std::function<void(const QString& text)>;
    void SetMessageHook(MessageHook hook) { hook_ = std::move(hook); }

    // Shows the text of an error that escaped a handler. One box at a time: an error raised
    // while a box is open waits for it to close, and a repeat of one already shown or waiting
    // is dropped instead of stacking boxes.
    void HandleException(const std::exception& error);
    void ShowException(const QString& text);

    // Runs an event handler; an error that escapes it goes to HandleException.
    template <typename F> void Guard(F&& handler) noexcept
    {
        try {
            handler();
        } catch (const std::exception& e) {
            HandleException(e);
        } catch (...) {
            ShowException(QStringLiteral("Unknown error"));
        }
    }

private:
    bool terminated_ = false;
    MessageHook hook_;
    bool errorBoxOpen_ = false;
    QString errorShown_;
    QStringList errorsWaiting_;
};

TApplication& Application();
