// gtest main for suites without a window system.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

int main(int argc, char** argv) {
    dv::test::LetThreadsEndBeforeTheLeakCheck();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
