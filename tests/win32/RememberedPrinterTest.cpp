// Where orvalenctl remembers its printer on Windows: the user's registry, read as strictly as the
// settings file on Linux (a serial number that is not one keeps a Z from any printer).
#include "ctl/RememberedPrinter.h"

#include <QSettings>

#include <gtest/gtest.h>

TEST(RememberedPrinter, KeptInTheRegistryAndDamagedValuesRememberNothing)
{
    QSettings registry(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("orvalen"),
                       QStringLiteral("orvalenctl"));
    registry.clear();
    registry.sync();
    QString problem;
    EXPECT_FALSE(RememberedPrinter::Load(problem).IsKnown());
    EXPECT_TRUE(problem.isEmpty());

    RememberedPrinter printer;
    printer.Port = QStringLiteral("COM3");
    printer.Serial = QStringLiteral("ZZP0012345");
    QString error;
    ASSERT_TRUE(printer.Save(error)) << error.toStdString();
    const RememberedPrinter loaded = RememberedPrinter::Load(problem);
    EXPECT_EQ(loaded.Port, printer.Port);
    EXPECT_EQ(loaded.Serial, printer.Serial);

    registry.setValue(QStringLiteral("printer/serial"), QStringLiteral("ZZP00"));
    registry.sync();
    EXPECT_FALSE(RememberedPrinter::Load(problem).IsKnown());
    EXPECT_TRUE(problem.contains(QStringLiteral("damaged"))) << problem.toStdString();
    registry.clear();
}
