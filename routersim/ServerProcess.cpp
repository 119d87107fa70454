#include "routersim/ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "routersim/Server.h"

namespace routersim {

ServerProcess::ServerProcess(Router i_router, uint16_t i_port) {
  Server server(std::move(i_router), "127.0.0.1", i_port);  // listening before the fork
  m_port = server.Port();
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  m_child = ::fork();
  if (m_child < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (m_child == 0) {
    ::close(stop[1]);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGALRM, SIG_IGN);
    signal(SIGINT, SIG_IGN);  // the parent decides when to stop
    server.Serve(stop[0]);
    _exit(0);
  }
  ::close(stop[0]);
  m_stop = stop[1];
}

ServerProcess::~ServerProcess() {
  ::close(m_stop);
  int status = 0;
  while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace routersim
