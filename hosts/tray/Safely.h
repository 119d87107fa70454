#pragma once

// A call made from inside an sd-bus callback, which no exception may cross: a failure is logged
// as "what: why, ignoring" and goes no further.

#include <exception>
#include <string>

#include "hosts/Log.h"

namespace zezar {

template <class F>
void Safely(const char* i_pWhat, F&& i_call) {
  try {
    i_call();
  } catch (const std::exception& error) {
    Log(std::string(i_pWhat) + ": " + error.what() + ", ignoring");
  } catch (...) {
    Log(std::string(i_pWhat) + ": an unknown failure, ignoring");
  }
}

}  // namespace zezar
