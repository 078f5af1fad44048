#include "runtime/Format.h"

#include <cmath>

QString Format(const QString& format, std::initializer_list<FormatArg> args)
{
    QString out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const QChar kind = format[i + 1];
        if (kind == QLatin1Char('%')) {
            out += c;
            ++i;
        } else if (kind == QLatin1Char('d') && next != args.end() && next->IsInt()) {
            out += QString::number(next->Int());
            ++next;
            ++i;
        } else if (kind == QLatin1Char('s') && next != args.end() && !next->IsInt()) {
            out += next->Text();
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

TFormatSettings& FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}

namespace {

qsizetype RunLength(const QString& s, qsizetype i)
{
    qsizetype n = 1;
    while (i + n < s.size() && s[i + n].toLower() == s[i].toLower())
        ++n;
    return n;
}

QString Padded(int value, int width)
{
    return QString::number(value).rightJustified(width, '0');
}

} // namespace

QString FormatDateTime(const QString& picture, TDateTime value)
{
    int y, mo, d, h, mi, s, ms;
    DecodeDate(value, y, mo, d);
    DecodeTime(value, h, mi, s, ms);
    const TFormatSettings& fs = FormatSettings();
    QString out;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture[i];
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = picture.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? picture.size() : end;
            out += picture.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const qsizetype n = RunLength(picture, i);
        if (lc == QLatin1Char('y')) {
            out += n <= 2 ? Padded(y % 100, 2) : Padded(y, 4);
        } else if (lc == QLatin1Char('m')) {
            out += n >= 2 ? Padded(mo, 2) : QString::number(mo);
        } else if (lc == QLatin1Char('d')) {
            out += n >= 2 ? Padded(d, 2) : QString::number(d);
        } else if (lc == QLatin1Char('h')) {
            out += n >= 2 ? Padded(h, 2) : QString::number(h);
        } else if (lc == QLatin1Char('n')) {
            out += n >= 2 ? Padded(mi, 2) : QString::number(mi);
        } else if (lc == QLatin1Char('s')) {
            out += n >= 2 ? Padded(s, 2) : QString::number(s);
        } else if (lc == QLatin1Char('z')) {
            out += n >= 3 ? Padded(ms, 3) : QString::number(ms);
        } else if (c == QLatin1Char('/')) {
            out += QString(fs.DateSeparator).repeated(n);
        } else if (c == QLatin1Char(':')) {
            out += QString(fs.TimeSeparator).repeated(n);
        } else {
            out += picture.mid(i, n);
        }
        i += n;
    }
    return out;
}

QString DateTimeToStr(TDateTime value)
{
    const TFormatSettings& fs = FormatSettings();
    QString text = FormatDateTime(fs.ShortDateFormat, value);
    int h, mi, s, ms;
    DecodeTime(value, h, mi, s, ms);
    if (h != 0 || mi != 0 || s != 0)
        text += QLatin1Char(' ') + FormatDateTime(fs.LongTimeFormat, value);
    return text;
}
