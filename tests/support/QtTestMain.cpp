// The main of the test programs whose tests run Qt's event loop (the simulated radio's line,
// the port component, socket notifiers): one QCoreApplication for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
