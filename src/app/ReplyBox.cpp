#include "app/ReplyBox.h"

#include <QValidator>

namespace {

constexpr char16_t ControlPictures = 0x2400; // U+2400 + b shows the control byte b
constexpr char16_t DeletePicture = 0x2421;

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

TReplyBox::TReplyBox(QWidget* parent) : QLineEdit(parent)
{
    setValidator(new ByteTextValidator(this));
}

void TReplyBox::SetBytes(const QByteArray& bytes)
{
    setText(ShowBytes(AppendedReply({}, bytes)));
}

void TReplyBox::AppendBytes(const QByteArray& bytes)
{
    const QByteArray before = Bytes();
    const QByteArray after = AppendedReply(before, bytes);
    if (after != before)
        setText(ShowBytes(after));
}
