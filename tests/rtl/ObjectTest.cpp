#include "platform/rtl/Object.h"

#include <gtest/gtest.h>

#include "platform/rtl/Exceptions.h"

namespace {

using platform::EConvertError;
using platform::TPersistent;

class TApple : public TPersistent {
public:
  const char* ClassName() const noexcept override { return "TApple"; }
};

class TPear : public TPersistent {
public:
  const char* ClassName() const noexcept override { return "TPear"; }
};

TEST(Persistent, AssignFallbackNamesSourceThenDestination) {
  TApple apple;
  TPear pear;
  try {
    pear.Assign(&apple);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.ClassName(), "EConvertError");
    EXPECT_EQ(e.Message, "Cannot assign a TApple to a TPear");
  }
  try {
    pear.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "Cannot assign a nil to a TPear");
  }
}

}  // namespace
