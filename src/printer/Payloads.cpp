#include "printer/Payloads.h"

#include "printer/Frame.h"

namespace {

QByteArray Join(std::initializer_list<QByteArray> fields)
{
    QByteArray payload;
    bool first = true;
    for (const QByteArray& field : fields) {
        if (!first)
            payload.append(FS);
        payload.append(field);
        first = false;
    }
    return payload;
}

const QByteArray Del(1, DEL);

// At least two digits, like "%.2d": 5 gives "05", -1 gives "-01".
QByteArray TwoDigits(int value)
{
    const QByteArray digits = QByteArray::number(value < 0 ? -qint64(value) : qint64(value));
    return (value < 0 ? "-" : "") + digits.rightJustified(2, '0');
}

} // namespace

QByteArray PayloadEstado()
{
    return QByteArray(1, char(0x80));
}

QByteArray PayloadReporteZ()
{
    return Join({"9", "Z", "T"});
}

QByteArray PayloadAbreNF()
{
    return "H";
}

QByteArray PayloadLineaNF(const QByteArray& texto)
{
    return Join({"I", texto});
}

QByteArray PayloadCierraNF()
{
    return Join({"J", Del});
}

QByteArray PayloadFechaHora(const QByteArray& fecha, const QByteArray& hora)
{
    return Join({"X", fecha, hora});
}

QByteArray PayloadTasas(const QByteArray& tasa1, const QByteArray& tasa2, const QByteArray& tasa3,
                        const QByteArray& autorizacion)
{
    return Join({"r", tasa1, tasa2, tasa3, autorizacion});
}

QByteArray PayloadAbreFactura()
{
    return Join({"@", Del, Del, Del, Del, Del, Del, "T", Del, Del});
}

QByteArray PayloadItem(const QByteArray& descripcion, const QByteArray& cantidad,
                       const QByteArray& precio, const QByteArray& tasa)
{
    return Join({"B", descripcion, cantidad, precio, tasa, "M", Del, Del, Del});
}

QByteArray PayloadCierraFactura()
{
    return Join({"E", "T"});
}

QByteArray ResetBytes()
{
    QByteArray bytes;
    for (char b = 0x07; b <= 0x19; ++b)
        bytes.append(b);
    return bytes;
}

QByteArray CampoFecha(int year, int month, int day)
{
    return TwoDigits(year - 2000) + TwoDigits(month) + TwoDigits(day);
}

QByteArray CampoHora(int hour, int min, int sec)
{
    return TwoDigits(hour) + TwoDigits(min) + TwoDigits(sec);
}

QByteArray CampoAnoMes(int year, int month)
{
    return TwoDigits(year - 2000) + TwoDigits(month);
}

QByteArray CampoAutorizacion(const QByteArray& anoMes, const QByteArray& tasa1,
                             const QByteArray& tasa2, const QByteArray& tasa3)
{
    const QByteArray source = anoMes.left(TasaLength) + tasa1.left(TasaLength) +
                              tasa2.left(TasaLength) + tasa3.left(TasaLength);
    quint32 sum = 0;
    for (qsizetype i = 0; i < source.size(); ++i)
        sum += quint32(quint8(source[i])) * quint32(i + 1);
    return CheckDigits(sum);
}

QString FormateaMonto(const QString& texto, quint8 decimales)
{
    QString monto = texto;
    monto.replace(QLatin1Char(','), QLatin1Char('.'));
    if (!monto.contains(QLatin1Char('.')))
        monto += QStringLiteral(".000");
    const qsizetype point = monto.indexOf(QLatin1Char('.'));
    const qsizetype present = monto.size() - point - 1;
    if (present < decimales)
        monto += QString(decimales - present, QLatin1Char('0'));
    return monto.left(point) + monto.mid(point + 1, decimales);
}

std::optional<QByteArray> ToLatin1(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
        bytes.append(char(c.unicode()));
    }
    return bytes;
}
