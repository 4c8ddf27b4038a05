// The message of the system's Error that a call raises, for tests that check error texts.
#pragma once

#include <QString>
#include <optional>
#include <utility>

#include "common/error.h"

namespace zavelo::test {

// The message of the Error that f throws, or nothing when it throws none. Any other exception
// passes on and fails the test.
template <typename F>
std::optional<QString> errorOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const Error& e) {
    return e.message();
  }
  return std::nullopt;
}

// The Error that f throws, whole (its kind and Firebird code too), or nothing.
template <typename F>
std::optional<Error> caught(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

}  // namespace zavelo::test
