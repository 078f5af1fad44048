#include "printer/Reply.h"

#include "printer/Frame.h"
#include "printer/FrameDecoder.h"

#include <algorithm>

namespace {

constexpr char16_t ControlPictures = 0x2400; // U+2400 + b shows the control byte b
constexpr char16_t DeletePicture = 0x2421;
constexpr char DeleteByte = 0x7F;

// The status reply carries the printer's serial number at characters 16 to 25.
constexpr int SerialOffset = 15;
constexpr int SerialLength = 10;

} // namespace

QByteArray AppendedReply(const QByteArray& reply, const QByteArray& read)
{
    const qsizetype zero = read.indexOf('\0');
    QByteArray joined = reply + (zero < 0 ? read : read.left(zero));
    joined.truncate(ReplyCapacity);
    return joined;
}

bool ReplyEnded(const QByteArray& reply)
{
    return reply.contains(ETX);
}

QByteArray SerialNumberOf(const QByteArray& statusReply)
{
    return statusReply.mid(SerialOffset, SerialLength);
}

bool HasAnswer(const QByteArray& reply)
{
    for (char c : reply)
        if (quint8(c) > 0x20)
            return true;
    return false;
}

bool DateTimeRefused(const QByteArray& reply)
{
    return reply.contains("ERRO");
}

std::optional<QByteArray> AnswerTo(const QByteArray& frame, const QByteArray& reply)
{
    const std::optional<TDecodedFrame> sent = DecodeFrame(frame);
    if (!sent || !sent->Command)
        return std::nullopt;
    TReplyFrames frames;
    for (const QByteArray& candidate : frames.Feed(reply)) {
        const std::optional<TDecodedFrame> got = DecodeFrame(candidate);
        if (candidate != frame && got && got->CheckDigitsRight() &&
            got->Sequence == sent->Sequence && got->Command == sent->Command)
            return candidate;
    }
    return std::nullopt;
}

bool IsSerialNumber(const QByteArray& serial)
{
    return serial.size() == SerialLength &&
           std::all_of(serial.begin(), serial.end(), [](char c) { return c > ' ' && c < DEL; });
}

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
