#include "tests/support/sandbox.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Every test program runs headless and with a settings folder of its own, so no test can
// read or write the real user's store.
int main(int argc, char** argv) {
    const zq4::test::Sandbox sandbox;
    if (!sandbox.valid()) {
        return EXIT_FAILURE;
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
