// orvalenctl's console streams on Windows, away from a console: under the tests' Wine the
// standard streams are pipes, as they are for a script that reads orvalenctl's results.
#include "ctl/ConsoleStream.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ConsoleStream, NulIsNoConsoleAndTakesEveryWrite)
{
    // The C library calls NUL a terminal (isatty): progress lines must not go there, and the
    // window-less program's writes into it are no failure.
    std::FILE* nul = std::fopen("NUL", "w");
    ASSERT_NE(nul, nullptr);
    EXPECT_FALSE(ConsoleStream::IsConsole(nul));
    EXPECT_EQ(ConsoleStream::Write(nul, QStringLiteral("orvalenctl: sin respuesta\n")), 0);
    std::fclose(nul);
}

TEST(ConsoleStream, FileGetsUtf8WithWindowsLineEnds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    std::FILE* file = _wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"w");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ConsoleStream::Write(file, QStringLiteral("Número de serie: año\n")), 0);
    std::fclose(file);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("N\xc3\xbamero de serie: a\xc3\xb1o\r\n"));
}
