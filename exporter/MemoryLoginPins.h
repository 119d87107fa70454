#pragma once

// The salted-login pins of one run, shared by the probes (router/LoginPins.h): a router that
// once offered the salted login gets no password in plain text for the rest of the run.

#include <mutex>
#include <set>
#include <string>

#include "router/LoginPins.h"

namespace exporter {

class MemoryLoginPins final : public router::LoginPins {
 public:
  bool Salted(const std::string& i_strWhere) const override {
    const std::lock_guard lock(m_mutex);
    return m_salted.count(i_strWhere) != 0;
  }
  void RememberSalted(const std::string& i_strWhere) override {
    const std::lock_guard lock(m_mutex);
    m_salted.insert(i_strWhere);
  }

 private:
  mutable std::mutex m_mutex;
  std::set<std::string> m_salted;
};

}  // namespace exporter
