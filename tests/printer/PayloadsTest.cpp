#include "printer/Payloads.h"

#include <gtest/gtest.h>

namespace {

const QByteArray FS(1, char(0x1C));
const QByteArray DEL(1, char(0x7F));

} // namespace

TEST(PayloadsTest, EveryCommandByteForByte)
{
    struct Case
    {
        const char* name;
        QByteArray payload;
        QByteArray expected;
    } cases[] = {
        {"status", PayloadEstado(), QByteArray(1, char(0x80))},
        {"Z report", PayloadReporteZ(), "9" + FS + "Z" + FS + "T"},
        {"open NF", PayloadAbreNF(), "H"},
        {"NF line", PayloadLineaNF("linea de prueba"), "I" + FS + "linea de prueba"},
        {"empty NF line", PayloadLineaNF(""), "I" + FS},
        {"close NF", PayloadCierraNF(), "J" + FS + DEL},
        {"date and time", PayloadFechaHora("261206", "170509"),
         "X" + FS + "261206" + FS + "170509"},
        {"rates", PayloadTasas("0700", "1000", "1500", "0ABC"),
         "r" + FS + "0700" + FS + "1000" + FS + "1500" + FS + "0ABC"},
        {"open invoice", PayloadAbreFactura(),
         "@" + FS + DEL + FS + DEL + FS + DEL + FS + DEL + FS + DEL + FS + DEL + FS + "T" + FS +
             DEL + FS + DEL},
        {"item", PayloadItem("PRODUCTO 8", "1000", "001", "0800"),
         "B" + FS + "PRODUCTO 8" + FS + "1000" + FS + "001" + FS + "0800" + FS + "M" + FS + DEL +
             FS + DEL + FS + DEL},
        {"close invoice", PayloadCierraFactura(), "E" + FS + "T"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.payload.toHex(' '), c.expected.toHex(' ')) << c.name;
}

TEST(PayloadsTest, ResetIsTheNineteenBytesFrom07To19)
{
    const QByteArray bytes = ResetBytes();
    ASSERT_EQ(bytes.size(), 19);
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(quint8(bytes[i]), 0x07 + i);
}

TEST(PayloadsTest, DateAndTimeFieldsArePadded)
{
    EXPECT_EQ(CampoFecha(2026, 12, 6), "261206");
    EXPECT_EQ(CampoFecha(2003, 1, 9), "030109");
    EXPECT_EQ(CampoHora(17, 5, 9), "170509");
    EXPECT_EQ(CampoHora(0, 0, 0), "000000");
    EXPECT_EQ(CampoAnoMes(2026, 3), "2603");
}

TEST(PayloadsTest, FormateaMonto)
{
    struct Case
    {
        const char* text;
        quint8 decimals;
        const char* expected;
    } cases[] = {
        {"1,5", 2, "150"},  {"2", 3, "2000"}, {"0.019", 2, "001"},     {"1", 2, "100"},
        {"0.01", 2, "001"}, {"1", 3, "1000"}, {"12.3456", 3, "12345"}, {"007.5", 2, "00750"},
        {".5", 2, "50"},    {"3.", 2, "300"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormateaMonto(QString::fromLatin1(c.text), c.decimals),
                  QString::fromLatin1(c.expected))
            << c.text << " / " << int(c.decimals);
}

TEST(PayloadsTest, AuthorizationFieldKnownValue)
{
    // "2612" "0700" "1000" "1500": each byte times its position 1..16 adds up to 0x1A1F.
    EXPECT_EQ(CampoAutorizacion("2612", "0700", "1000", "1500"), QByteArray("1A1F"));
}

TEST(PayloadsTest, AuthorizationFieldDependsOnMonthOrderAndRates)
{
    const QByteArray base = CampoAutorizacion("2612", "0700", "1000", "1500");
    EXPECT_NE(CampoAutorizacion("2701", "0700", "1000", "1500"), base);
    EXPECT_NE(CampoAutorizacion("2612", "1000", "0700", "1500"), base);
    EXPECT_NE(CampoAutorizacion("2612", "0700", "1000", "1600"), base);
    // Only the first four characters of a rate count.
    EXPECT_EQ(CampoAutorizacion("2612", "07009", "1000", "1500"), base);
    EXPECT_EQ(base, base.toUpper());
    EXPECT_GE(base.size(), 4);
}

TEST(PayloadsTest, Latin1)
{
    EXPECT_EQ(ToLatin1(QStringLiteral("año ÿ")), QByteArray("a\xF1o \xFF"));
    EXPECT_EQ(ToLatin1(QString()), QByteArray());
    EXPECT_FALSE(ToLatin1(QStringLiteral("precio €")).has_value());
}
