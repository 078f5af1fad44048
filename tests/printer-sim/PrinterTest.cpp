#include "Printer.h"
#include "Options.h"
#include "Wire.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace printersim;

namespace {

constexpr char Fs = 0x1C;

// 2026-12-07 12:00:00 local time.
std::time_t Noon()
{
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// The reply's fields after the command byte, split at FS; the check digits are verified here.
struct ParsedReply
{
    char seq = 0;
    char command = 0;
    char result = 0;
    unsigned printerStatus = 0;
    std::vector<std::string> data;
};

ParsedReply Parse(const std::string& frame)
{
    ParsedReply r;
    const auto etx = frame.find('\x03');
    EXPECT_NE(etx, std::string::npos);
    EXPECT_EQ(frame[0], '\x02');
    EXPECT_EQ(frame.substr(etx + 1), CheckDigits(ByteSum(frame.substr(0, etx + 1))));
    r.seq = frame[1];
    r.command = frame[2];
    r.result = frame[3];
    std::vector<std::string> fields;
    std::string body = frame.substr(5, etx - 5);
    for (std::size_t start = 0;;) {
        const auto fs = body.find(Fs, start);
        fields.push_back(body.substr(start, fs - start));
        if (fs == std::string::npos)
            break;
        start = fs + 1;
    }
    EXPECT_GE(fields.size(), 2u);
    r.printerStatus = std::stoul(fields[0], nullptr, 16);
    r.data.assign(fields.begin() + 2, fields.end());
    return r;
}

std::string Payload(std::initializer_list<std::string> parts)
{
    std::string payload;
    for (const auto& part : parts) {
        if (!payload.empty())
            payload += Fs;
        payload += part;
    }
    return payload;
}

} // namespace

TEST(PrinterTest, StatusReplyHoldsSerialAtCharacters16To25)
{
    Printer printer("ZZT9876543");
    const auto answer = printer.Respond('D', "\x80", Noon());
    ASSERT_GE(answer.frame.size(), 25u);
    EXPECT_EQ(answer.frame.substr(15, 10), "ZZT9876543");
    const auto reply = Parse(answer.frame);
    EXPECT_EQ(reply.seq, 'D');
    EXPECT_EQ(reply.command, '\x80');
    EXPECT_EQ(reply.result, 'A');
    EXPECT_EQ(reply.data, (std::vector<std::string>{"ZZT9876543", "0", "261207", "120000"}));
}

TEST(PrinterTest, SetDateAndTimeMovesThePrinterClock)
{
    Printer printer("QDX0012345");
    const auto set = Parse(printer.Respond('E', Payload({"X", "261206", "170509"}), Noon()).frame);
    EXPECT_EQ(set.result, 'A');
    const auto status = Parse(printer.Respond('F', "\x80", Noon() + 10).frame);
    EXPECT_EQ(status.data[2], "261206");
    EXPECT_EQ(status.data[3], "170519");
}

TEST(PrinterTest, RefuseClockRefusesAValidDateAndKeepsTheClock)
{
    Printer printer("QDX0012345");
    printer.SetRefuseClock(true);
    const auto set = Parse(printer.Respond('E', Payload({"X", "261206", "170509"}), Noon()).frame);
    EXPECT_EQ(set.result, 'R');
    EXPECT_EQ(set.data, std::vector<std::string>{"ERRO"});
    const auto status = Parse(printer.Respond('F', "\x80", Noon()).frame);
    EXPECT_EQ(status.data[3], "120000");
}

struct DateCase
{
    const char* date;
    const char* time;
    bool valid;
};

class PrinterDateTime : public testing::TestWithParam<DateCase>
{
};

TEST_P(PrinterDateTime, OnlyARefusedDateOrTimeCarriesErro)
{
    Printer printer("QDX0012345");
    const auto frame =
        printer.Respond('G', Payload({"X", GetParam().date, GetParam().time}), Noon()).frame;
    EXPECT_EQ(frame.find("ERRO") == std::string::npos, GetParam().valid) << frame;
    EXPECT_EQ(Parse(frame).result, GetParam().valid ? 'A' : 'R');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrinterDateTime,
    testing::Values(DateCase{"261206", "170509", true}, DateCase{"261306", "170509", false},
                    DateCase{"261200", "170509", false}, DateCase{"261131", "000000", false},
                    DateCase{"240229", "235959", true}, DateCase{"260229", "120000", false},
                    DateCase{"000229", "120000", true}, DateCase{"261206", "240000", false},
                    DateCase{"261206", "126000", false}, DateCase{"26126", "170509", false},
                    DateCase{"2612a6", "170509", false}, DateCase{"261206", "", false}));

TEST(PrinterTest, DocumentsOpenAndCloseInOrder)
{
    Printer printer("QDX0012345");
    struct Step
    {
        std::string payload;
        char result;
        unsigned statusBits;
    };
    const std::vector<Step> steps = {
        {Payload({"I", "linea"}), 'R', psWrongState},
        {"H", 'A', psNonFiscalOpen},
        {"H", 'R', psNonFiscalOpen | psWrongState},
        {Payload({"9", "Z", "T"}), 'R', psNonFiscalOpen | psWrongState},
        {Payload({"I", "linea de prueba"}), 'A', psNonFiscalOpen},
        {Payload({"I", ""}), 'A', psNonFiscalOpen},
        {Payload({"J", "\x7F"}), 'A', 0},
        {Payload({"J", "\x7F"}), 'R', psWrongState},
        {Payload({"B", "P", "1000", "100", "0900"}), 'R', psWrongState},
        {Payload({"@", "\x7F", "T"}), 'A', psInvoiceOpen},
        {Payload({"r", "0700", "1000", "1500", "1A2B"}), 'R', psInvoiceOpen | psWrongState},
        {Payload({"I", "ERRO"}), 'R', psInvoiceOpen | psWrongState},
        {Payload({"B", "P", "1000", "abc", "0900"}), 'R', psInvoiceOpen | psBadField},
        {Payload({"E", "T"}), 'A', 0},
        {"Q", 'R', psUnknownCommand},
        {"9Z", 'R', psBadField},
        {Payload({"r", "0800", "1200", "0000", "1F3A"}), 'A', 0},
        {Payload({"r", "080", "1200", "0000", "1F3A"}), 'R', psBadField},
        {Payload({"r", "0800", "1200", "0000", "1f3a"}), 'R', psBadField},
        {Payload({"r", "0800", "1200", "0000"}), 'R', psBadField},
    };
    for (const auto& step : steps) {
        const auto frame = printer.Respond('J', step.payload, Noon()).frame;
        // Only a refused date or time may carry the word the program looks for.
        EXPECT_EQ(frame.find("ERRO"), std::string::npos) << ReadableText(step.payload);
        const auto reply = Parse(frame);
        EXPECT_EQ(reply.result, step.result) << ReadableText(step.payload);
        EXPECT_EQ(reply.printerStatus, step.statusBits) << ReadableText(step.payload);
    }
}

TEST(PrinterTest, InvoiceAddsItemsAndZReportCounts)
{
    Printer printer("QDX0012345");
    Parse(printer.Respond('K', "@", Noon()).frame);
    const std::vector<std::pair<std::string, std::string>> items = {
        {"1000", "100"}, {"1000", "001"}, {"1000", "001"}, {"2500", "040"}};
    for (const auto& [quantity, price] : items)
        Parse(
            printer.Respond('L', Payload({"B", "P", quantity, price, "0900", "M"}), Noon()).frame);
    const auto closed = Parse(printer.Respond('M', Payload({"E", "T"}), Noon()).frame);
    ASSERT_EQ(closed.data.size(), 2u);
    EXPECT_EQ(closed.data[1], "0000000202"); // 1.00 + 0.01 + 0.01 + 2.5 x 0.40
    const auto z1 = Parse(printer.Respond('N', Payload({"9", "Z", "T"}), Noon()).frame);
    const auto z2 = Parse(printer.Respond('O', Payload({"9", "Z", "T"}), Noon()).frame);
    EXPECT_EQ(z1.data, std::vector<std::string>{"0001"});
    EXPECT_EQ(z2.data, std::vector<std::string>{"0002"});
}

TEST(PrinterTest, AnItemThatWouldOverflowTheTotalIsRefusedAndTheTotalKept)
{
    Printer printer("QDX0012345");
    Parse(printer.Respond('K', "@", Noon()).frame);
    const auto item = [&](const std::string& quantity, const std::string& price) {
        return Parse(
            printer.Respond('L', Payload({"B", "P", quantity, price, "0900", "M"}), Noon()).frame);
    };
    // 999999.999 x 9999999.99: one maximal item is already past the ten digits of the total.
    const auto huge = item("999999999", "999999999");
    EXPECT_EQ(huge.result, 'R');
    EXPECT_EQ(huge.printerStatus, psInvoiceOpen | psBadField);

    // 99999999.99 reached exactly is accepted; one more cent is not.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(item("1000", "999999999").result, 'A') << i; // 9999999.99 each
    EXPECT_EQ(item("9000", "001").result, 'A');
    EXPECT_EQ(item("1000", "001").result, 'R');
    const auto closed = Parse(printer.Respond('M', Payload({"E", "T"}), Noon()).frame);
    ASSERT_EQ(closed.data.size(), 2u);
    EXPECT_EQ(closed.data[1], "9999999999");
}

TEST(OptionsTest, TimeScaleOutOfRangeIsRefusedAndLongPausesNeverWrap)
{
    for (const char* scale : {"1e-300", "1e300", "0"})
        EXPECT_THROW(ParseOptions({"--link", "x", "--time-scale", scale}), std::invalid_argument)
            << scale;
    Options slow = ParseOptions({"--link", "x", "--time-scale", "0.001"});
    EXPECT_GE(slow.RealMs(2147483647.0), 2147483647 / 2);
}
