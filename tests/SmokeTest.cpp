#include "archive/ZAExcept.h"

#include <gtest/gtest.h>

TEST(Smoke, EngineErrorsCompose) {
    EXPECT_EQ(EZAException::Create(15).NativeError(), 15);
}
