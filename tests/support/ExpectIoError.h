// Expects an action to raise EInOutError with exactly this message and code.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <velmora/velmora.hpp>

namespace velmora::testing {

template <typename Action>
void ExpectIoError(Action action, const std::string &message, int code) {
  try {
    action();
    ADD_FAILURE() << "expected EInOutError \"" << message << "\"";
  } catch (const EInOutError &error) {
    EXPECT_EQ(std::string(error.what()), message);
    EXPECT_EQ(error.Code(), code);
  }
}

}  // namespace velmora::testing
