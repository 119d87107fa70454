#pragma once

// The one way the controller reads a preference: copy the value, take it only if it has the
// expected type, otherwise keep the default already in place.

#include <string>

#include "preferences/Preferences.h"
#include "text/MacRoman.h"

namespace preferences {

template <typename T>  // long (a number), bool or std::string
bool ReadPreference(const std::string& i_strDomain, const std::string& i_strKey, T& io_value) {
  const auto value = preferences::Preferences().CopyAppValue(i_strKey, i_strDomain);
  if (!value) return false;
  const T* pTyped = std::get_if<T>(&*value);
  if (pTyped == nullptr) return false;
  io_value = *pTyped;
  return true;
}

// A string preference as the router's 8-bit text. A value with no Mac OS Roman form counts as
// absent, as does one of another type.
inline std::optional<std::string> ReadEightBitPreference(const std::string& i_strDomain,
                                                         const std::string& i_strKey) {
  std::string strValue;
  if (!ReadPreference(i_strDomain, i_strKey, strValue)) return std::nullopt;
  return text::Utf8ToMacRoman(strValue);
}

}  // namespace preferences
