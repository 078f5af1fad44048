#pragma once

// A gtest main with the QCoreApplication that timers, waits and hand-overs need, for the layers
// below the widgets: their tests run without a widget stack.
#include <QCoreApplication>
#include <gtest/gtest.h>

#define ORVALEN_CORE_TEST_MAIN                                                                     \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
