#pragma once

#include "runtime/DateTime.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>

// One argument of Format: an integer for %d or a text for %s.
class FormatArg
{
public:
    FormatArg(int value) : isInt_(true), int_(value) {}
    FormatArg(long value) : isInt_(true), int_(value) {}
    FormatArg(long long value) : isInt_(true), int_(value) {}
    FormatArg(unsigned value) : isInt_(true), int_(value) {}
    FormatArg(const QString& value) : text_(value) {}
    FormatArg(const char* value) : text_(QString::fromUtf8(value)) {}
    // Byte strings (device names) are 8-bit text.
    FormatArg(const QByteArray& value) : text_(QString::fromLatin1(value)) {}

    bool IsInt() const { return isInt_; }
    long long Int() const { return int_; }
    const QString& Text() const { return text_; }

private:
    bool isInt_ = false;
    long long int_ = 0;
    QString text_;
};

// printf-like formatting with %d and %s (and %% for a percent sign). Arguments are taken in order;
// a format without placeholders comes out unchanged whatever the arguments. A placeholder without
// a matching argument (or of the other kind) is left in the text as written.
QString Format(const QString& format, std::initializer_list<FormatArg> args);

// Process-wide number and date formats, set once by the main window at start.
struct TFormatSettings
{
    QString CurrencyString = QStringLiteral("$");
    int CurrencyFormat = 0;
    QChar ThousandSeparator = QLatin1Char(',');
    QChar DecimalSeparator = QLatin1Char('.');
    QChar DateSeparator = QLatin1Char('/');
    QChar TimeSeparator = QLatin1Char(':');
    QString ShortDateFormat = QStringLiteral("dd/mm/yyyy");
    QString LongTimeFormat = QStringLiteral("hh:nn:ss");
    QChar ListSeparator = QLatin1Char(',');
};

TFormatSettings& FormatSettings();

// Date and time pictures: d dd m mm yy yyyy h hh n nn s ss z zzz; '/' and ':' stand for the
// date and time separators; text in double or single quotes is copied.
QString FormatDateTime(const QString& picture, TDateTime value);
// The short date, then a blank and the long time unless the time is exactly midnight.
QString DateTimeToStr(TDateTime value);
