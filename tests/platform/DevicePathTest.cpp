#include "platform/DevicePath.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct PathCase
{
    const char* name;
    const char* expected; // nullptr: no device
};

class DevicePathTable : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(DevicePathTable, WithoutComDirMapsOntoLinuxDevices)
{
    unsetenv("ORVALEN_COM_DIR");
    const PathCase& c = GetParam();
    const auto path = DevicePathFor(c.name);
    if (c.expected) {
        ASSERT_TRUE(path.has_value()) << c.name;
        EXPECT_EQ(*path, QByteArray(c.expected)) << c.name;
    } else {
        EXPECT_FALSE(path.has_value()) << c.name << " -> " << path.value_or("").constData();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, DevicePathTable,
    ::testing::Values(PathCase{"COM1", "/dev/ttyS0"}, PathCase{"\\\\.\\COM4", "/dev/ttyS3"},
                      PathCase{"com5", "/dev/ttyUSB0"}, PathCase{"\\\\.\\Com12", "/dev/ttyUSB7"},
                      PathCase{"COM13", "/dev/ttyACM0"}, PathCase{"COM20", "/dev/ttyACM7"},
                      PathCase{"/dev/ttyAMA0", "/dev/ttyAMA0"}, PathCase{"COM21", nullptr},
                      PathCase{"COM0", nullptr}, PathCase{"COM07", nullptr},
                      PathCase{"COM", nullptr}, PathCase{"COM1x", nullptr},
                      PathCase{"COM-1", nullptr}, PathCase{"LPT1", nullptr},
                      PathCase{"dev/ttyS0", nullptr}, PathCase{"", nullptr}));

TEST(DevicePath, ComDirTakesEveryComNumberAndNothingElse)
{
    setenv("ORVALEN_COM_DIR", "/tmp/ports", 1);
    EXPECT_EQ(DevicePathFor("\\\\.\\COM7").value_or(""), QByteArray("/tmp/ports/com7"));
    EXPECT_EQ(DevicePathFor("com3").value_or(""), QByteArray("/tmp/ports/com3"));
    EXPECT_EQ(DevicePathFor("COM99").value_or(""), QByteArray("/tmp/ports/com99"));
    EXPECT_EQ(DevicePathFor("/dev/ttyS0").value_or(""), QByteArray("/dev/ttyS0"));
    EXPECT_FALSE(DevicePathFor("LPT1").has_value());
    unsetenv("ORVALEN_COM_DIR");
}

} // namespace
