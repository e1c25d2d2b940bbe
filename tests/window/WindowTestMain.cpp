// Runs the window tests inside a QApplication on the offscreen platform (no display needed).
#include <gtest/gtest.h>

#include <QApplication>

#include "TempDir.h"

// The window of one radio, when the two-window test starts this program as that window.
int RunOneWindowIfAsked(int argc, char** argv);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime directory Qt makes one of its own in the temporary folder and leaves
    // it there; give it one that goes with the tests.
    TempDir runtime("quenta-runtime");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && !runtime.Path().empty())
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
    int status = 0;
    {
        QApplication app(argc, argv);
        const int window = RunOneWindowIfAsked(argc, argv);
        if (window >= 0)
            return window;
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
