#include <gtest/gtest.h>
#include "support/test_support.h"
TEST(Smoke, Starts) { ensureServices(); }
