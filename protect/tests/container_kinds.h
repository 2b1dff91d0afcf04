// Tests that run for both containers a protect makes take whether it encrypts as their
// parameter: INSTANTIATE_TEST_SUITE_P(Containers, Suite, testing::Bool(), ContainerKindName).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kestravuna::test_support {

inline std::string ContainerKindName(const testing::TestParamInfo<bool>& kind) {
  return kind.param ? "Encrypted" : "Legacy";
}

}  // namespace kestravuna::test_support
