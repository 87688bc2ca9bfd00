// A host that links only libqelbridge.so.
#include <gtest/gtest.h>

#include "qelbridge.h"

TEST(SharedLibrary, UnhandledModuleWithoutDatabase) {
  char* reply = nullptr;
  EXPECT_EQ(Invoke(0x700, "", &reply), -2);
  ASSERT_NE(reply, nullptr);
  EXPECT_STREQ(reply, "null\n");
  DeleteJsonStr(&reply);
  EXPECT_EQ(reply, nullptr);
}
