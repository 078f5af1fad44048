#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of the program's exceptions: one message text.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};
