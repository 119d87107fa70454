#pragma once

// The exporter's HTTP side: libmicrohttpd serves every connection from one thread with epoll,
// within fixed limits, and hands each probe to a thread of its own (ProbeWorkers), suspending
// its connection until the page is ready. So a slow client or a silent router holds up only
// itself, and /metrics, /sd and / are answered at once whatever the probes do.
//
//   /probe?target=NAME   a configured router's page, probed now; 400 for anything else, and no
//                        connection is made
//   /metrics             the exporter's own figures
//   /sd                  the routers for Prometheus's HTTP service discovery, with their labels
//   /                    a page listing the routers
//
// The configuration is replaced whole (Reload); probes under way finish with the one they
// started with.

#include <microhttpd.h>
#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Config.h"
#include "ProbeWorkers.h"
#include "SelfMetrics.h"
#include "router/LoginPins.h"

namespace exporter {

struct HttpLimits {
  unsigned connections = 512;         // at once; more are refused by the listener
  unsigned idleSeconds = 15;          // a connection that sends nothing this long is closed
  std::size_t requestBytes = 16384;  // a request's memory: line, headers, some 200 parameters
};

// Where to listen: ":PORT" (every address), "IPV4:PORT", "[IPV6]:PORT". Throws
// std::invalid_argument naming what is wrong.
struct ListenAddress {
  sockaddr_storage address{};
  bool bAnyAddress = false;
  static ListenAddress Parse(const std::string& i_strText);
};

class Exporter {
 public:
  // Throws std::runtime_error when it cannot listen there.
  Exporter(std::shared_ptr<const Config> i_config, const ListenAddress& i_where,
           HttpLimits i_limits = {});
  ~Exporter();  // finishes the probes under way, then stops serving
  Exporter(const Exporter&) = delete;
  Exporter& operator=(const Exporter&) = delete;

  uint16_t Port() const;                                // the one listened on (for ":0")
  void Reload(std::shared_ptr<const Config> i_config);  // null: the new file was refused
  std::shared_ptr<const Config> CurrentConfig() const;

 private:
  struct Request;
  using Result = MHD_Result;

  static Result Dispatch(void* i_pThis, MHD_Connection* i_pConnection, const char* i_pUrl,
                         const char* i_pMethod, const char* i_pVersion, const char* i_pUpload,
                         std::size_t* io_pUploadSize, void** io_ppRequest);
  Result Answer(MHD_Connection* i_pConnection, const std::string& i_strUrl,
                const std::string& i_strMethod, Request& io_request);
  Result StartProbe(MHD_Connection* i_pConnection, Request& io_request);
  std::string DiscoveryJson() const;
  std::string IndexPage() const;

  mutable std::mutex m_mutex;
  std::shared_ptr<const Config> m_config;  // under m_mutex
  std::unique_ptr<router::LoginPins> m_pins;
  SelfMetrics m_metrics;
  struct StopDaemon {
    void operator()(MHD_Daemon* i_pDaemon) const;
  };
  std::unique_ptr<MHD_Daemon, StopDaemon> m_daemon;
  // Declared after the daemon, so gone before it: the probes resume the daemon's connections.
  ProbeWorkers m_workers;
};

}  // namespace exporter
