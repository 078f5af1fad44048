#include "Printer.h"

#include "Wire.h"

#include <algorithm>
#include <cstdio>

namespace printersim {

namespace {

bool AllDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int TwoDigits(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

std::string Padded(long long value, int width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", width, value);
    return text;
}

std::string Hex4(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string DateField(const std::tm& t)
{
    return Padded(t.tm_year % 100, 2) + Padded(t.tm_mon + 1, 2) + Padded(t.tm_mday, 2);
}

std::string TimeField(const std::tm& t)
{
    return Padded(t.tm_hour, 2) + Padded(t.tm_min, 2) + Padded(t.tm_sec, 2);
}

std::string Money(long long cents)
{
    return std::to_string(cents / 100) + "." + Padded(cents % 100, 2);
}

} // namespace

std::vector<std::string> SplitFields(std::string_view payload)
{
    std::vector<std::string> fields;
    if (payload.size() < 2)
        return fields;
    std::string_view rest = payload.substr(2); // command byte and the first FS
    for (;;) {
        const auto fs = rest.find(Fs);
        fields.emplace_back(rest.substr(0, fs));
        if (fs == std::string_view::npos)
            return fields;
        rest.remove_prefix(fs + 1);
    }
}

bool IsValidDate(std::string_view yymmdd)
{
    if (yymmdd.size() != 6 || !AllDigits(yymmdd))
        return false;
    const int year = 2000 + TwoDigits(yymmdd, 0);
    const int month = TwoDigits(yymmdd, 2);
    const int day = TwoDigits(yymmdd, 4);
    if (month < 1 || month > 12 || day < 1)
        return false;
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= Days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsValidTime(std::string_view hhmmss)
{
    return hhmmss.size() == 6 && AllDigits(hhmmss) && TwoDigits(hhmmss, 0) < 24 &&
           TwoDigits(hhmmss, 2) < 60 && TwoDigits(hhmmss, 4) < 60;
}

Printer::Printer(std::string serial) : serial_(std::move(serial)) {}

Answer Printer::Respond(char seq, std::string_view payload, std::time_t now)
{
    const char command = payload.empty() ? '\0' : payload[0];
    // Fields always follow the command byte behind an FS.
    if (payload.size() > 1 && payload[1] != Fs)
        return Refuse(seq, command, psBadField, {}, "refused: no field separator after command");
    const auto fields = SplitFields(payload);
    switch (static_cast<unsigned char>(command)) {
    case 0x80:
        return Status(seq, now);
    case '9':
        return ZReport(seq);
    case 'H':
        return OpenNonFiscal(seq);
    case 'I':
        return NonFiscalLine(seq, fields);
    case 'J':
        return CloseNonFiscal(seq);
    case 'X':
        return SetDateTime(seq, fields, now);
    case 'r':
        return SetTaxRates(seq, fields);
    case '@':
        return OpenInvoice(seq);
    case 'B':
        return InvoiceItem(seq, fields);
    case 'E':
        return CloseInvoice(seq);
    default:
        return Refuse(seq, command, psUnknownCommand, {}, "refused: unknown command");
    }
}

Answer Printer::Accept(char seq, char command, std::vector<std::string> data, std::string note)
{
    return Answer{Reply(seq, command, true, PrinterStatus(), data), std::move(note), {}};
}

Answer Printer::Refuse(char seq, char command, unsigned problem, std::vector<std::string> data,
                       std::string note)
{
    return Answer{Reply(seq, command, false, PrinterStatus() | problem, data), std::move(note), {}};
}

std::string Printer::Reply(char seq, char command, bool accepted, unsigned status,
                           const std::vector<std::string>& data) const
{
    std::string payload;
    payload += command;
    payload += accepted ? 'A' : 'R';
    payload += Fs;
    payload += Hex4(status);
    payload += Fs;
    payload += Hex4(FiscalStatus());
    for (const auto& field : data) {
        payload += Fs;
        payload += field;
    }
    return BuildFrame(seq, payload);
}

unsigned Printer::PrinterStatus() const
{
    switch (document_) {
    case Document::NonFiscal:
        return psNonFiscalOpen;
    case Document::Invoice:
        return psInvoiceOpen;
    case Document::None:
        break;
    }
    return 0;
}

unsigned Printer::FiscalStatus() const
{
    return fsInService | (dayOpen_ ? fsDayOpen : 0u);
}

Answer Printer::Status(char seq, std::time_t now)
{
    const std::time_t clock = Clock(now);
    std::tm t{};
    localtime_r(&clock, &t);
    const std::string documentState(1, static_cast<char>('0' + static_cast<int>(document_)));
    return Accept(seq, static_cast<char>(0x80),
                  {serial_, documentState, DateField(t), TimeField(t)}, "status");
}

Answer Printer::ZReport(char seq)
{
    if (document_ != Document::None)
        return Refuse(seq, '9', psWrongState, {}, "refused: a document is open");
    if (refuseZ_)
        return Refuse(seq, '9', psWrongState, {"ERRO"}, "refused: Z report (--refuse-z)");
    ++zCount_;
    dayOpen_ = false;
    auto answer = Accept(seq, '9', {Padded(zCount_, 4)}, "Z report " + Padded(zCount_, 4));
    answer.printed.push_back("REPORTE Z " + Padded(zCount_, 4));
    return answer;
}

Answer Printer::OpenNonFiscal(char seq)
{
    if (document_ != Document::None)
        return Refuse(seq, 'H', psWrongState, {}, "refused: a document is open");
    document_ = Document::NonFiscal;
    return Accept(seq, 'H', {}, "non-fiscal document opened");
}

Answer Printer::NonFiscalLine(char seq, const std::vector<std::string>& fields)
{
    if (document_ != Document::NonFiscal)
        return Refuse(seq, 'I', psWrongState, {}, "refused: no non-fiscal document open");
    auto answer = Accept(seq, 'I', {}, "non-fiscal line");
    answer.printed.push_back(fields.empty() ? std::string() : ReadableText(fields[0]));
    return answer;
}

Answer Printer::CloseNonFiscal(char seq)
{
    if (document_ != Document::NonFiscal)
        return Refuse(seq, 'J', psWrongState, {}, "refused: no non-fiscal document open");
    document_ = Document::None;
    return Accept(seq, 'J', {}, "non-fiscal document closed");
}

Answer Printer::SetDateTime(char seq, const std::vector<std::string>& fields, std::time_t now)
{
    // A refused date or time carries the word ERRO (and a Z refused by --refuse-z).
    if (fields.size() != 2 || !IsValidDate(fields[0]) || !IsValidTime(fields[1]))
        return Refuse(seq, 'X', psBadField, {"ERRO"}, "refused: invalid date or time");
    if (refuseClock_)
        return Refuse(seq, 'X', psWrongState, {"ERRO"}, "refused: date and time (--refuse-clock)");
    std::tm t{};
    t.tm_year = 100 + TwoDigits(fields[0], 0);
    t.tm_mon = TwoDigits(fields[0], 2) - 1;
    t.tm_mday = TwoDigits(fields[0], 4);
    t.tm_hour = TwoDigits(fields[1], 0);
    t.tm_min = TwoDigits(fields[1], 2);
    t.tm_sec = TwoDigits(fields[1], 4);
    t.tm_isdst = -1;
    const std::time_t set = std::mktime(&t);
    if (set != static_cast<std::time_t>(-1))
        clockOffset_ = set - now;
    return Accept(seq, 'X', {fields[0], fields[1]}, "date and time set");
}

Answer Printer::SetTaxRates(char seq, const std::vector<std::string>& fields)
{
    if (document_ != Document::None)
        return Refuse(seq, 'r', psWrongState, {}, "refused: a document is open");
    const auto isRate = [](const std::string& f) { return f.size() == 4 && AllDigits(f); };
    const auto isAuthorization = [](const std::string& f) {
        return (f.size() == 4 || f.size() == 5) && std::all_of(f.begin(), f.end(), [](char c) {
                   return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
               });
    };
    if (fields.size() != 4 || !isRate(fields[0]) || !isRate(fields[1]) || !isRate(fields[2]) ||
        !isAuthorization(fields[3]))
        return Refuse(seq, 'r', psBadField, {}, "refused: bad tax rate fields");
    for (int i = 0; i < 3; ++i)
        rates_[i] = fields[i];
    return Accept(seq, 'r', {rates_[0], rates_[1], rates_[2]}, "tax rates set");
}

Answer Printer::OpenInvoice(char seq)
{
    if (document_ != Document::None)
        return Refuse(seq, '@', psWrongState, {}, "refused: a document is open");
    document_ = Document::Invoice;
    ++invoiceCount_;
    itemCount_ = 0;
    invoiceTotal_ = 0;
    return Accept(seq, '@', {Padded(invoiceCount_, 8)}, "invoice opened");
}

Answer Printer::InvoiceItem(char seq, const std::vector<std::string>& fields)
{
    if (document_ != Document::Invoice)
        return Refuse(seq, 'B', psWrongState, {}, "refused: no invoice open");
    // Description, quantity (3 implied decimals), price (2 implied decimals), tax rate, ...
    if (fields.size() < 4 || !AllDigits(fields[1]) || fields[1].size() > 9 ||
        !AllDigits(fields[2]) || fields[2].size() > 9 || fields[3].size() != 4 ||
        !AllDigits(fields[3]))
        return Refuse(seq, 'B', psBadField, {}, "refused: bad item fields");
    // Nine digits each: the product stays far inside long long. The total's reply field has ten
    // digits, and a printer refuses the item that would take it further rather than wrap.
    const long long cents = std::stoll(fields[1]) * std::stoll(fields[2]) / 1000;
    if (cents > MaxInvoiceTotal - invoiceTotal_)
        return Refuse(seq, 'B', psBadField, {},
                      "refused: the invoice total would pass its 10 digits");
    ++itemCount_;
    invoiceTotal_ += cents;
    auto answer = Accept(seq, 'B', {Padded(invoiceTotal_, 10)}, "invoice item");
    answer.printed.push_back(ReadableText(fields[0]) + "  " + Money(cents));
    return answer;
}

Answer Printer::CloseInvoice(char seq)
{
    if (document_ != Document::Invoice)
        return Refuse(seq, 'E', psWrongState, {}, "refused: no invoice open");
    document_ = Document::None;
    dayOpen_ = true;
    auto answer =
        Accept(seq, 'E', {Padded(invoiceCount_, 8), Padded(invoiceTotal_, 10)}, "invoice closed");
    answer.printed.push_back("TOTAL " + Money(invoiceTotal_) + " (" + std::to_string(itemCount_) +
                             " items)");
    return answer;
}

} // namespace printersim
