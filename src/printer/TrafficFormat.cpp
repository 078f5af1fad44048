#include "printer/TrafficFormat.h"

#include "printer/FrameDecoder.h"
#include "printer/TrafficRecord.h"

#include <QStringList>

namespace {

// The ASCII names of the control bytes 0x00..0x1F.
constexpr const char* ControlNames[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                        "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                        "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                        "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
constexpr char DeleteByte = 0x7F;

QString HexByte(quint8 b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString HexPairs(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        if (!text.isEmpty())
            text.append(QLatin1Char(' '));
        text.append(HexByte(quint8(c)));
    }
    return text;
}

QString ReadableForm(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const quint8 b = quint8(c);
        if (b < std::size(ControlNames))
            text += QLatin1Char('<') + QLatin1String(ControlNames[b]) + QLatin1Char('>');
        else if (c == DeleteByte)
            text += QStringLiteral("<DEL>");
        else if (b >= 0x80)
            text += QLatin1Char('<') + HexByte(b) + QLatin1Char('>');
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString TrafficLine(const TTrafficEntry& entry)
{
    const QString time = entry.Time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    switch (entry.Direction) {
    case TTrafficDirection::ToPrinter:
        return time + QStringLiteral(" TX ") + HexPairs(entry.Bytes) + QStringLiteral(" | ") +
               ReadableForm(entry.Bytes);
    case TTrafficDirection::FromPrinter:
        return time + QStringLiteral(" RX ") + HexPairs(entry.Bytes) + QStringLiteral(" | ") +
               ReadableForm(entry.Bytes);
    case TTrafficDirection::Event:
        break;
    }
    return time + QStringLiteral(" EV ") + entry.Text;
}

QString FrameParts(const TDecodedFrame& frame)
{
    QStringList parts;
    parts << QStringLiteral("secuencia %1").arg(HexByte(quint8(frame.Sequence)));
    if (frame.Command)
        parts << QStringLiteral("comando %1").arg(ReadableForm(QByteArray(1, *frame.Command)));
    else
        parts << QStringLiteral("sin comando");
    if (!frame.Fields.isEmpty()) {
        QStringList fields;
        for (const QByteArray& field : frame.Fields)
            fields << QLatin1Char('[') + ReadableForm(field) + QLatin1Char(']');
        parts << QStringLiteral("campos %1").arg(fields.join(QLatin1Char(' ')));
    }
    if (frame.CheckDigits.isEmpty())
        parts
            << QStringLiteral("sin control (debía ser %1)").arg(ReadableForm(frame.ExpectedDigits));
    else if (frame.CheckDigitsRight())
        parts << QStringLiteral("control %1 correcto").arg(ReadableForm(frame.CheckDigits));
    else
        parts << QStringLiteral("control %1 incorrecto (debía ser %2)")
                     .arg(ReadableForm(frame.CheckDigits), ReadableForm(frame.ExpectedDigits));
    return parts.join(QStringLiteral(" · "));
}
