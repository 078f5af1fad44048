#include "printer/Frame.h"

QByteArray CheckDigits(quint32 sum)
{
    return QByteArray::number(sum, 16).toUpper().rightJustified(4, '0');
}

QByteArray BuildFrame(qint32 secuencia, const QByteArray& payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 8);
    frame.append(STX);
    frame.append(char(secuencia & 0xFF));
    frame.append(payload);
    frame.append(ETX);
    quint32 sum = 0;
    for (char c : frame)
        sum += quint8(c);
    frame.append(CheckDigits(sum));
    return frame;
}
