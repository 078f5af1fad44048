#include "runtime/ErrorReport.h"
#include "runtime/Exception.h"

#include <QStringList>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

class ErrorReportTest : public ::testing::Test
{
protected:
    QStringList reports;
    void SetUp() override
    {
        SetErrorReportHook([this](const QString& text) { reports << text; });
    }
    void TearDown() override { SetErrorReportHook({}); }
};

TEST_F(ErrorReportTest, EscapingErrorsReachTheHookAndTheCallerGoesOn)
{
    ReportErrors([] { throw Exception(QStringLiteral("Read error (5), Entrada/salida")); });
    ReportErrors([] { throw std::runtime_error("bad_alloc"); });
    ReportErrors([] { throw 42; });
    bool ran = false;
    ReportErrors([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(reports,
              (QStringList{"Read error (5), Entrada/salida", "bad_alloc", "Unknown error"}));
}

TEST_F(ErrorReportTest, WithoutAHookTheTextGoesToStandardError)
{
    SetErrorReportHook({});
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    ReportErrors([] { throw Exception(QStringLiteral("Device gone")); });
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    EXPECT_EQ(file.readAll(), QByteArray("Device gone\n"));
    EXPECT_TRUE(reports.isEmpty());
}
