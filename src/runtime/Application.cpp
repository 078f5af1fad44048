#include "runtime/Application.h"

#include "runtime/ErrorReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QThread>

TApplication::TApplication()
{
    SetErrorReportHook([this](const QString& text) {
        QCoreApplication* app = QCoreApplication::instance();
        // A box belongs to the UI thread: a report from elsewhere is shown from there.
        if (app && QThread::currentThread() != app->thread()) {
            QMetaObject::invokeMethod(
                app, [this, text] { ShowException(text); }, Qt::QueuedConnection);
            return;
        }
        ShowException(text);
    });
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::Run()
{
    while (!terminated_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // Outside a QEventLoop, objects released with deleteLater wait for this.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void TApplication::Terminate()
{
    terminated_ = true;
    // Wakes the main loop if it is idle; a running wait is not interrupted.
    if (QCoreApplication* app = QCoreApplication::instance())
        QCoreApplication::postEvent(app, new QEvent(QEvent::User));
}

void TApplication::MessageBox(const QString& text)
{
    if (hook_) {
        hook_(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, Title, text, QMessageBox::Ok);
    if (!Icon.isNull())
        box.setWindowIcon(Icon);
    box.exec();
}

void TApplication::HandleException(const std::exception& error)
{
    ShowException(ErrorText(error));
}

void TApplication::ShowException(const QString& text)
{
    if (errorBoxOpen_) {
        if (text != errorShown_ && !errorsWaiting_.contains(text))
            errorsWaiting_.append(text);
        return;
    }
    errorBoxOpen_ = true;
    errorShown_ = text;
    MessageBox(text);
    while (!errorsWaiting_.isEmpty()) {
        errorShown_ = errorsWaiting_.takeFirst();
        MessageBox(errorShown_);
    }
    errorShown_.clear();
    errorBoxOpen_ = false;
}

TApplication& Application()
{
    static TApplication application;
    return application;
}
