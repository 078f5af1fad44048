#pragma once

#include "printer/Reply.h"

#include <QByteArray>
#include <QLineEdit>
#include <QString>

// The edit box that shows the printer's reply as the link keeps it (printer/Reply.h): the bytes
// as their readable text, read back unchanged, with the same zero-byte and length rules.
class TReplyBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit TReplyBox(QWidget* parent = nullptr);

    QByteArray Bytes() const { return ReadableBytes(text()); }
    void SetBytes(const QByteArray& bytes);
    void AppendBytes(const QByteArray& bytes);
};
