#pragma once

// Makes a service the process's for as long as the installation lives, as a host does for the
// extra it loads; none is installed afterwards.

namespace router {

template <class Service, void (*tInstall)(Service*)>
class Installation {
 public:
  explicit Installation(Service& i_service) { tInstall(&i_service); }
  ~Installation() { tInstall(nullptr); }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;
};

}  // namespace router
