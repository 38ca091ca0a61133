#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The serial port's notifiers want an application object, as in the designer.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
