#pragma once

// Sets an environment variable (or, for nullptr, unsets it) for a scope; the old value returns
// with the scope's end. Children started meanwhile inherit the new one.

#include <cstdlib>
#include <optional>
#include <string>

namespace zezar_test {

class ScopedEnv {
 public:
  ScopedEnv(const char* i_pName, const char* i_pValue) : m_strName(i_pName) {
    if (const char* pOld = std::getenv(i_pName)) m_old = pOld;
    if (i_pValue != nullptr) {
      ::setenv(i_pName, i_pValue, 1);
    } else {
      ::unsetenv(i_pName);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      ::setenv(m_strName.c_str(), m_old->c_str(), 1);
    } else {
      ::unsetenv(m_strName.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_strName;
  std::optional<std::string> m_old;
};

}  // namespace zezar_test
