#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// A frame taken apart as the printer reads it: STX, sequence byte, payload up to the first ETX,
// then the check digits. The payload is the command byte followed by its fields, each after an
// FS; text between the command byte and the first FS (a reply's result letter) is a field too.
struct TDecodedFrame
{
    char Sequence = 0;
    std::optional<char> Command; // none when the payload is empty
    QList<QByteArray> Fields;
    QByteArray CheckDigits;    // as they came
    QByteArray ExpectedDigits; // from the byte sum of STX through ETX

    bool CheckDigitsRight() const { return CheckDigits == ExpectedDigits; }
};

// Decodes one whole frame (a frame written, or one cut from the reply stream by TReplyFrames).
// Anything that does not begin with STX and a sequence byte or has no ETX is not a frame.
std::optional<TDecodedFrame> DecodeFrame(const QByteArray& frame);

// Cuts whole frames out of the bytes the printer sends, whatever the size of each read. A frame
// runs from STX to the first ETX, then as many check digits as its byte sum needs (four, five
// from 0x10000 on). Bytes outside a frame are skipped. An STX always starts a new frame, also
// inside one under way: a reply that broke off is more likely on this line than an STX inside a
// reply, and the next reply must not be lost behind it.
class TReplyFrames
{
public:
    // A frame longer than this is given up rather than buffered without bound.
    static constexpr qsizetype MaxFrame = 64 * 1024;

    // Takes the next bytes read; returns the frames they complete, in order.
    QList<QByteArray> Feed(const QByteArray& bytes);

private:
    QByteArray frame_;           // the frame under way, empty when between frames
    qsizetype digitsWanted_ = 0; // check digits still to come once the ETX is in; 0 before it
};
