#include "printer/FrameDecoder.h"

#include "printer/Frame.h"

namespace {

quint32 ByteSum(QByteArrayView bytes)
{
    quint32 sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    return sum;
}

} // namespace

std::optional<TDecodedFrame> DecodeFrame(const QByteArray& frame)
{
    if (frame.size() < 3 || frame.at(0) != STX)
        return std::nullopt;
    const qsizetype etx = frame.indexOf(ETX, 2);
    if (etx < 0)
        return std::nullopt;

    TDecodedFrame decoded;
    decoded.Sequence = frame.at(1);
    const QByteArray payload = frame.mid(2, etx - 2);
    if (!payload.isEmpty()) {
        decoded.Command = payload.at(0);
        QByteArray rest = payload.mid(1);
        if (!rest.isEmpty()) {
            decoded.Fields = rest.split(FS);
            // The usual payload has an FS right after the command byte: no field before it.
            if (rest.startsWith(FS))
                decoded.Fields.removeFirst();
        }
    }
    decoded.CheckDigits = frame.mid(etx + 1);
    decoded.ExpectedDigits = CheckDigits(ByteSum(QByteArrayView(frame).first(etx + 1)));
    return decoded;
}

QList<QByteArray> TReplyFrames::Feed(const QByteArray& bytes)
{
    QList<QByteArray> complete;
    for (char c : bytes) {
        if (c == STX) {
            frame_ = QByteArray(1, STX);
            digitsWanted_ = 0;
            continue;
        }
        if (frame_.isEmpty())
            continue; // outside a frame
        frame_.append(c);
        if (digitsWanted_ > 0) {
            if (--digitsWanted_ == 0) {
                complete.append(frame_);
                frame_.clear();
            }
            continue;
        }
        if (c == ETX && frame_.size() >= 3) {
            digitsWanted_ = CheckDigits(ByteSum(frame_)).size();
        } else if (frame_.size() > MaxFrame) {
            frame_.clear();
        }
    }
    return complete;
}
