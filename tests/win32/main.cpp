#include <QCoreApplication>

#include <gtest/gtest.h>

// Hand-overs to the UI thread need an application object on the thread that runs the tests.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
