#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace printersim {

// Bits of the printer-status word of every reply.
enum PrinterStatusBit : unsigned
{
    psUnknownCommand = 0x0001,
    psWrongState = 0x0002, // the command does not fit the open document (or the lack of one)
    psBadField = 0x0004,
    psNonFiscalOpen = 0x0100,
    psInvoiceOpen = 0x0200,
};

// Bits of the fiscal-status word of every reply.
enum FiscalStatusBit : unsigned
{
    fsDayOpen = 0x0001, // invoices were closed since the last Z report
    fsInService = 0x0080,
};

// The printer's answer to one command frame.
struct Answer
{
    std::string frame;                // the whole reply frame
    std::string note;                 // what happened, for the traffic log
    std::vector<std::string> printed; // lines that went onto the paper
};

// The command side of the simulated fiscal printer: the documents it has open, its counters, its
// clock and tax rates. Replies are frames:
//   STX, seq, command byte, result ('A' accepted, 'R' refused), FS, printer status (4 hex digits),
//   FS, fiscal status (4 hex digits), then FS and one data field per value, ETX, check digits.
// The result character puts the serial number of the status reply at characters 16..25.
class Printer
{
public:
    // The largest invoice total, in cents, that the reply's total field can hold.
    static constexpr long long MaxInvoiceTotal = 9'999'999'999;

    explicit Printer(std::string serial);

    // Refuse every Z report (result R, the field ERRO), printing nothing.
    void SetRefuseZ(bool refuse) { refuseZ_ = refuse; }
    // Refuse every date and time, valid or not (result R, the field ERRO), keeping the clock.
    void SetRefuseClock(bool refuse) { refuseClock_ = refuse; }

    // Answers the command frame with sequence byte seq; now is the computer's clock.
    Answer Respond(char seq, std::string_view payload, std::time_t now);

    // The printer's own clock: the computer's shifted by the last date and time set.
    std::time_t Clock(std::time_t now) const { return now + clockOffset_; }

private:
    enum class Document
    {
        None,
        NonFiscal,
        Invoice,
    };

    Answer Accept(char seq, char command, std::vector<std::string> data, std::string note);
    Answer Refuse(char seq, char command, unsigned problem, std::vector<std::string> data,
                  std::string note);
    std::string Reply(char seq, char command, bool accepted, unsigned status,
                      const std::vector<std::string>& data) const;
    unsigned PrinterStatus() const;
    unsigned FiscalStatus() const;

    Answer Status(char seq, std::time_t now);
    Answer ZReport(char seq);
    Answer OpenNonFiscal(char seq);
    Answer NonFiscalLine(char seq, const std::vector<std::string>& fields);
    Answer CloseNonFiscal(char seq);
    Answer SetDateTime(char seq, const std::vector<std::string>& fields, std::time_t now);
    Answer SetTaxRates(char seq, const std::vector<std::string>& fields);
    Answer OpenInvoice(char seq);
    Answer InvoiceItem(char seq, const std::vector<std::string>& fields);
    Answer CloseInvoice(char seq);

    std::string serial_;
    bool refuseZ_ = false;
    bool refuseClock_ = false;
    Document document_ = Document::None;
    bool dayOpen_ = false;
    int zCount_ = 0;
    int invoiceCount_ = 0;
    int itemCount_ = 0;
    long long invoiceTotal_ = 0; // in cents
    std::string rates_[3] = {"0700", "1000", "1500"};
    std::time_t clockOffset_ = 0;
};

// Splits a payload after its command byte into the fields that follow each FS.
std::vector<std::string> SplitFields(std::string_view payload);

// "YYMMDD" and "HHMMSS" naming a real calendar date (2000..2099) and time of day.
bool IsValidDate(std::string_view yymmdd);
bool IsValidTime(std::string_view hhmmss);

} // namespace printersim
