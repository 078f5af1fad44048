#include "app/ReplyBox.h"

#include <QValidator>

namespace {

constexpr char16_t ControlPictures = 0x2400; // U+2400 + b shows the control byte b
constexpr char16_t DeletePicture = 0x2421;
constexpr char DeleteByte = 0x7F;

QByteArray UpToZero(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

bool IsPicture(char16_t c)
{
    return (c >= ControlPictures && c < ControlPictures + 0x20) || c == DeletePicture;
}

// What the user types into the box must map back to bytes: Latin-1 or a control picture.
class ByteTextValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (QChar c : input)
            if (c.unicode() > 0xFF && !IsPicture(c.unicode()))
                return Invalid;
        return Acceptable;
    }
};

} // namespace

QString ShowBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes) {
        const quint8 u = quint8(b);
        if (u < 0x20)
            text.append(QChar(char16_t(ControlPictures + u)));
        else if (b == DeleteByte)
            text.append(QChar(DeletePicture));
        else
            text.append(QChar(char16_t(u)));
    }
    return text;
}

QByteArray ReadableBytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == DeletePicture)
            bytes.append(DeleteByte);
        else if (u >= ControlPictures && u < ControlPictures + 0x20)
            bytes.append(char(u - ControlPictures));
        else
            bytes.append(u <= 0xFF ? char(u) : '?');
    }
    return bytes;
}

TReplyBox::TReplyBox(QWidget* parent) : QLineEdit(parent)
{
    setValidator(new ByteTextValidator(this));
}

void TReplyBox::SetBytes(const QByteArray& bytes)
{
    setText(ShowBytes(UpToZero(bytes)));
}

void TReplyBox::AppendBytes(const QByteArray& bytes)
{
    const QByteArray kept = UpToZero(bytes);
    if (!kept.isEmpty())
        setText(text() + ShowBytes(kept));
}
