#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

CommandLine Parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("/usr/bin/orvalen"));
    return ParseCommandLine(arguments);
}

} // namespace

// Qt's own options must reach QApplication, not be refused as unknown.
TEST(CommandLine, QtWindowSystemOptionsStartTheWindow)
{
    for (const QStringList& arguments : {QStringList{},
                                         {"-platform", "offscreen"},
                                         {"--platform", "xcb"},
                                         {"-style=fusion"},
                                         {"-reverse", "-qwindowgeometry", "640x480+0+0"}}) {
        const CommandLine result = Parse(arguments);
        EXPECT_FALSE(result.exitStatus.has_value()) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    }
}

TEST(CommandLine, HelpAndVersionWinOverQtOptions)
{
    EXPECT_EQ(Parse({"-platform", "offscreen", "--help"}).exitStatus, 0);
    EXPECT_EQ(Parse({"--version", "-reverse"}).exitStatus, 0);
}

TEST(CommandLine, UsageErrorsNameTheCulpritOnOneLineThenTheHint)
{
    for (const QStringList& arguments :
         {QStringList{"--traffic"}, {"-platform"}, {"COM3"}, {"-hv"}}) {
        const CommandLine result = Parse(arguments);
        EXPECT_EQ(result.exitStatus, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.output.isEmpty());
        const QStringList lines = result.error.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << result.error.toStdString();
        EXPECT_TRUE(lines[0].startsWith("orvalen: ")) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains(QString(arguments.first()).remove(QLatin1Char('-'))))
            << lines[0].toStdString();
    }
}

TEST(CommandLine, TrafficLogNamesItsFile)
{
    const CommandLine given = Parse({"--traffic-log", "/tmp/x y.log", "-platform", "offscreen"});
    EXPECT_FALSE(given.exitStatus.has_value());
    EXPECT_EQ(given.trafficLog, QStringLiteral("/tmp/x y.log"));
    EXPECT_TRUE(Parse({}).trafficLog.isEmpty());
    EXPECT_EQ(Parse({"--traffic-log="}).exitStatus, 2);
}
