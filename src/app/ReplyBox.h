#pragma once

#include <QByteArray>
#include <QLineEdit>
#include <QString>

// Bytes as readable text: every byte one character, Latin-1, except the control bytes, which
// show as the Unicode control pictures (STX as U+2402, ETX as U+2403, FS as U+241C, DEL as
// U+2421). ReadableBytes undoes it exactly.
QString ShowBytes(const QByteArray& bytes);
QByteArray ReadableBytes(const QString& text);

// The edit box that holds the printer's reply. Its text is the only store of the reply: the
// bytes are kept as their readable text and read back unchanged. Like any window text it ends at
// its first zero byte: a zero byte received ends the text there and the rest of that read is
// lost, while later reads are appended behind it. It also keeps QLineEdit's length limit of
// 32767 characters, far above any printer reply: a flood beyond it is dropped, not stored.
class TReplyBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit TReplyBox(QWidget* parent = nullptr);

    QByteArray Bytes() const { return ReadableBytes(text()); }
    void SetBytes(const QByteArray& bytes);
    void AppendBytes(const QByteArray& bytes);
};
