// Expectations on the failures the engine raises.  Each runs the statement and
// records a test failure unless it raises exactly the expected exception
// class of velmora.hpp with exactly the expected message:
//
//   EXPECT_VELMORA_ERROR(statement, EConvertError, "'x' is not a valid integer value");
//   EXPECT_ENGINE_ERROR(statement, "Key violation");          // EVelmoraDBError
//   EXPECT_IO_ERROR(statement, "Disk full", 28);              // EInOutError and its code
//   EXPECT_ENGINE_ERROR_RECORDED(statement, "Key violation"); // and the last error text
//
// They work for a test linked with the engine and for a client of the shared
// library alike; EXPECT_ENGINE_ERROR_RECORDED reads the engine's last error
// text, so its test includes "VRcomm/EngineError.h".
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include <velmora/velmora.hpp>

// The exception class by its name in namespace velmora, and the message.
#define EXPECT_VELMORA_ERROR(statement, Class, message)                                       \
  do {                                                                                        \
    try {                                                                                     \
      statement;                                                                              \
      ADD_FAILURE() << #statement " raised no " #Class ", expected: " << (message);           \
    } catch (const ::velmora::Class &error_) {                                                \
      EXPECT_EQ(std::string(error_.what()), std::string(message));                            \
      EXPECT_STREQ(error_.ClassName(), #Class);                                               \
    } catch (const std::exception &error_) {                                                  \
      ADD_FAILURE() << #statement " raised another class than " #Class ": " << error_.what(); \
    }                                                                                         \
  } while (0)

#define EXPECT_ENGINE_ERROR(statement, message) EXPECT_VELMORA_ERROR(statement, EVelmoraDBError, message)

// EInOutError with the message and the platform's error code.
#define EXPECT_IO_ERROR(statement, message, code)                                              \
  do {                                                                                         \
    try {                                                                                      \
      statement;                                                                               \
      ADD_FAILURE() << #statement " raised no EInOutError, expected: " << (message);           \
    } catch (const ::velmora::EInOutError &error_) {                                           \
      EXPECT_EQ(std::string(error_.what()), std::string(message));                             \
      EXPECT_EQ(error_.Code(), (code));                                                        \
    } catch (const std::exception &error_) {                                                   \
      ADD_FAILURE() << #statement " raised another class than EInOutError: " << error_.what(); \
    }                                                                                          \
  } while (0)

// EVelmoraDBError with the message, which is also the library-wide last error
// text afterwards.
#define EXPECT_ENGINE_ERROR_RECORDED(statement, message)           \
  do {                                                             \
    EXPECT_ENGINE_ERROR(statement, message);                       \
    EXPECT_EQ(::velmora::EngineErrorText(), std::string(message)); \
  } while (0)
