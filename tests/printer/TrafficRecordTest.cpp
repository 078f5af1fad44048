// The traffic record without a window: the line shape, the frame decoder, the reply splitter,
// the record's bound and the log file.

#include "printer/TrafficRecord.h"
#include "printer/Frame.h"
#include "printer/FrameDecoder.h"
#include "printer/TrafficFormat.h"
#include "printer/TrafficLog.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QDateTime At(QDate(2026, 12, 7), QTime(22, 25, 39, 123));

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// A reply as the simulated printer shapes it: command, result letter, status words.
QByteArray Reply(char seq, const QByteArray& payload)
{
    return BuildFrame(quint8(seq), payload);
}

TTrafficEntry Entry(TTrafficDirection direction, const QByteArray& bytes, const QString& text = {})
{
    return {At, direction, bytes, text, {}};
}

} // namespace

TEST(TrafficFormatTest, LinesHaveTheSharedShape)
{
    EXPECT_EQ(TrafficLine(Entry(TTrafficDirection::ToPrinter, BuildFrame(68, Bytes({0x80})))),
              QStringLiteral("2026-12-07T22:25:39.123 TX 02 44 80 03 30 30 43 39 | "
                             "<STX>D<80><ETX>00C9"));
    EXPECT_EQ(TrafficLine(Entry(TTrafficDirection::FromPrinter, Bytes({0x02, 'D', 0x1C, 0xFE}))),
              QStringLiteral("2026-12-07T22:25:39.123 RX 02 44 1C FE | <STX>D<FS><FE>"));
    EXPECT_EQ(TrafficLine(Entry(TTrafficDirection::Event, {}, QStringLiteral("COM3 abierto"))),
              QStringLiteral("2026-12-07T22:25:39.123 EV COM3 abierto"));
    // Midnight and a single-digit millisecond keep their zeros.
    TTrafficEntry early = Entry(TTrafficDirection::Event, {}, QStringLiteral("x"));
    early.Time = QDateTime(QDate(2027, 1, 2), QTime(0, 0, 0, 7));
    EXPECT_EQ(TrafficLine(early), QStringLiteral("2027-01-02T00:00:00.007 EV x"));
}

TEST(TrafficFormatTest, EveryControlByteIsNamed)
{
    // The reset sequence 07..19, then the rest of the control range and the bytes around it.
    QByteArray reset;
    for (int b = 0x07; b <= 0x19; ++b)
        reset.append(char(b));
    EXPECT_EQ(ReadableForm(reset),
              QStringLiteral("<BEL><BS><HT><LF><VT><FF><CR><SO><SI><DLE><DC1><DC2><DC3><DC4>"
                             "<NAK><SYN><ETB><CAN><EM>"));
    EXPECT_EQ(
        ReadableForm(Bytes({0x00, 0x01, 0x04, 0x05, 0x06, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F})),
        QStringLiteral("<NUL><SOH><EOT><ENQ><ACK><SUB><ESC><FS><GS><RS><US>"));
    EXPECT_EQ(ReadableForm(Bytes({' ', '~', 0x7F, 0x80, 0xA0, 0xFF})),
              QStringLiteral(" ~<DEL><80><A0><FF>"));
    EXPECT_EQ(HexPairs(Bytes({0x00, 0x0A, 0xAB})), QStringLiteral("00 0A AB"));
    EXPECT_EQ(HexPairs({}), QString());
}

TEST(FrameDecoderTest, FramesWrittenAreTakenApart)
{
    const auto z = DecodeFrame(BuildFrame(68, Bytes({'9', 0x1C, 'Z', 0x1C, 'T'})));
    ASSERT_TRUE(z);
    EXPECT_EQ(z->Sequence, 'D');
    EXPECT_EQ(z->Command, '9');
    EXPECT_EQ(z->Fields, (QList<QByteArray>{"Z", "T"}));
    EXPECT_EQ(z->CheckDigits, QByteArray("0168"));
    EXPECT_TRUE(z->CheckDigitsRight());
    EXPECT_EQ(FrameParts(*z),
              QStringLiteral("secuencia 44 · comando 9 · campos [Z] [T] · control 0168 correcto"));

    const auto status = DecodeFrame(BuildFrame(68, Bytes({0x80})));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->Command, char(0x80));
    EXPECT_TRUE(status->Fields.isEmpty());

    // "I" FS with an empty line: one empty field, not none.
    const auto line = DecodeFrame(BuildFrame(69, Bytes({'I', 0x1C})));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Fields, QList<QByteArray>{QByteArray()});

    // A reply's result letter right after the command byte is a field of its own.
    const auto reply = DecodeFrame(Reply('D', "9A\x1C"
                                              "0000\x1C"
                                              "0080"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Fields, (QList<QByteArray>{"A", "0000", "0080"}));

    // Sums past 0xFFFF carry five digits.
    const auto big = DecodeFrame(BuildFrame(68, QByteArray(300, char(0xFF))));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->CheckDigits.size(), 5);
    EXPECT_TRUE(big->CheckDigitsRight());
}

TEST(FrameDecoderTest, WrongOrMissingCheckDigitsAndNonFrames)
{
    QByteArray frame = BuildFrame(68, "H");
    frame.back() = frame.back() == '0' ? '1' : '0';
    const auto wrong = DecodeFrame(frame);
    ASSERT_TRUE(wrong);
    EXPECT_FALSE(wrong->CheckDigitsRight());
    EXPECT_TRUE(FrameParts(*wrong).contains(QStringLiteral("incorrecto (debía ser ") +
                                            QString::fromLatin1(BuildFrame(68, "H").right(4))));

    const auto cut = DecodeFrame(Bytes({0x02, 'D', 'H', 0x03}));
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->CheckDigitsRight());
    EXPECT_TRUE(FrameParts(*cut).startsWith(QStringLiteral("secuencia 44 · comando H · sin")));

    // An ETX inside the payload ends the frame where the printer would end it.
    const auto early = DecodeFrame(BuildFrame(68, Bytes({'I', 0x1C, 'a', 0x03, 'b'})));
    ASSERT_TRUE(early);
    EXPECT_EQ(early->Fields, QList<QByteArray>{"a"});
    EXPECT_FALSE(early->CheckDigitsRight());

    EXPECT_FALSE(DecodeFrame(Bytes({0x07, 0x08, 0x09}))); // the reset bytes
    EXPECT_FALSE(DecodeFrame(Bytes({0x02, 'D', 'H'})));   // no ETX
    EXPECT_FALSE(DecodeFrame(Bytes({0x02, 0x03})));       // no sequence byte
    EXPECT_FALSE(DecodeFrame({}));
}

TEST(ReplyFramesTest, FramesAreCutFromTheStreamWhateverTheReads)
{
    const QByteArray first = Reply('D', "9A\x1C"
                                        "0000");
    const QByteArray second = Reply('E', "HA");

    TReplyFrames byteByByte;
    QList<QByteArray> got;
    for (char c : first) {
        EXPECT_TRUE(got.isEmpty()) << "complete before its last check digit";
        got += byteByByte.Feed(QByteArray(1, c));
    }
    EXPECT_EQ(got, QList<QByteArray>{first});

    // Noise before, two frames and the start of a third in one read; the third completes later.
    TReplyFrames stream;
    EXPECT_EQ(stream.Feed(QByteArray("\x06\x15noise") + first + second + first.left(5)),
              (QList<QByteArray>{first, second}));
    EXPECT_EQ(stream.Feed(first.mid(5)), QList<QByteArray>{first});

    // A reply that broke off is given up when the next one starts.
    EXPECT_EQ(stream.Feed(second.left(4) + first), QList<QByteArray>{first});

    // Five check digits are waited for when the sum needs them.
    const QByteArray big = BuildFrame(68, QByteArray(300, char(0xFF)));
    EXPECT_TRUE(stream.Feed(big.chopped(1)).isEmpty());
    EXPECT_EQ(stream.Feed(big.right(1)), QList<QByteArray>{big});
}

TEST(ReplyFramesTest, EndlessFrameIsGivenUp)
{
    TReplyFrames stream;
    EXPECT_TRUE(stream.Feed("\x02" + QByteArray(TReplyFrames::MaxFrame + 10, 'x')).isEmpty());
    // Back between frames: the ETX of the endless one completes nothing.
    EXPECT_TRUE(stream
                    .Feed("\x03"
                          "0000")
                    .isEmpty());
    const QByteArray next = Reply('F', "JA");
    EXPECT_EQ(stream.Feed(next), QList<QByteArray>{next});
}

TEST(TrafficRecordTest, EntriesInOrderWithDecodedFrames)
{
    TTrafficRecord record;
    record.Clock = [] { return At; };
    QSignalSpy added(&record, &TTrafficRecord::Added);

    const QByteArray frame = BuildFrame(68, "H");
    record.Event(QStringLiteral("COM3 abierto"));
    record.Written(At, frame, TWriteOutcome::Written);
    record.Received({}); // an empty read is no entry
    const QByteArray reply = Reply('D', "HA");
    record.Received(reply.left(3));
    record.Received(reply.mid(3));

    ASSERT_EQ(record.Entries().size(), 4u);
    EXPECT_EQ(added.size(), 4);
    const auto& e = record.Entries();
    EXPECT_EQ(e[0].Direction, TTrafficDirection::Event);
    EXPECT_EQ(e[1].Direction, TTrafficDirection::ToPrinter);
    EXPECT_EQ(e[1].Bytes, frame);
    ASSERT_EQ(e[1].Frames.size(), 1);
    EXPECT_EQ(e[1].Frames[0].Command, 'H');
    EXPECT_EQ(e[2].Direction, TTrafficDirection::FromPrinter);
    EXPECT_TRUE(e[2].Frames.isEmpty());
    ASSERT_EQ(e[3].Frames.size(), 1); // the read that completes the reply carries it
    EXPECT_TRUE(e[3].Frames[0].CheckDigitsRight());
    EXPECT_EQ(e[3].Frames[0].Fields, QList<QByteArray>{"A"});
}

TEST(TrafficRecordTest, WritesThatDidNotGoOutSaySo)
{
    TTrafficRecord record;
    record.Written(At, BuildFrame(68, "H"), TWriteOutcome::PortClosed);
    ASSERT_EQ(record.Entries().size(), 1u);
    EXPECT_EQ(record.Entries()[0].Direction, TTrafficDirection::Event);
    EXPECT_TRUE(record.Entries()[0].Text.contains(QStringLiteral("<STX>DH<ETX>")));

    record.Written(At, Bytes({0x07, 0x08}), TWriteOutcome::Unconfirmed);
    ASSERT_EQ(record.Entries().size(), 3u);
    EXPECT_EQ(record.Entries()[1].Direction, TTrafficDirection::ToPrinter);
    EXPECT_TRUE(record.Entries()[1].Frames.isEmpty()); // raw bytes, not a frame
    EXPECT_EQ(record.Entries()[2].Direction, TTrafficDirection::Event);

    // An event's line breaks would split its log line.
    record.Event(QStringLiteral("a\nb\r\nc"));
    EXPECT_EQ(record.Entries().back().Text, QStringLiteral("a b c"));
}

TEST(TrafficRecordTest, MemoryKeepsTheMostRecentEntries)
{
    TTrafficRecord record;
    QSignalSpy added(&record, &TTrafficRecord::Added);
    const int total = TTrafficRecord::Capacity + 5;
    for (int i = 0; i < total; ++i)
        record.Event(QString::number(i));
    EXPECT_EQ(qsizetype(record.Entries().size()), TTrafficRecord::Capacity);
    EXPECT_EQ(record.Entries().front().Text, QStringLiteral("5"));
    EXPECT_EQ(record.Entries().back().Text, QString::number(total - 1));
    EXPECT_EQ(added.size(), total); // followers get every entry
}

TEST(TrafficLogTest, AppendsOneFlushedLinePerEntry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    {
        QFile before(path);
        ASSERT_TRUE(before.open(QIODevice::WriteOnly));
        before.write("earlier run\n");
    }
    QString error;
    const std::unique_ptr<TTrafficLog> log = TTrafficLog::Open(path, error);
    ASSERT_TRUE(log) << error.toStdString();
    TTrafficRecord record;
    record.Clock = [] { return At; };
    record.Event(QStringLiteral("before following")); // not in the file
    log->Follow(record);
    record.Event(QStringLiteral("Impresora encontrada en COM3, serial ñ"));
    record.Written(At, BuildFrame(68, Bytes({0x80})), TWriteOutcome::Written);

    // Read while the log is still open: every line is on disk once its writer has caught up.
    ASSERT_TRUE(log->Drain(std::chrono::seconds(10)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()),
              QStringLiteral("earlier run\n"
                             "2026-12-07T22:25:39.123 EV Impresora encontrada en COM3, serial ñ\n"
                             "2026-12-07T22:25:39.123 TX 02 44 80 03 30 30 43 39 | "
                             "<STX>D<80><ETX>00C9\n"));
}

TEST(TrafficLogTest, FileThatCannotBeOpenedIsRefusedWithItsName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    const QString path = dir.filePath(QStringLiteral("missing/traffic.log"));
    EXPECT_FALSE(TTrafficLog::Open(path, error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    error.clear();
    EXPECT_FALSE(TTrafficLog::Open(dir.path(), error)); // a folder
    EXPECT_FALSE(error.isEmpty());
}
