#include "Exporter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "MemoryLoginPins.h"
#include "Probe.h"

namespace exporter {

namespace {

constexpr const char* kTextFormat = "text/plain; version=0.0.4; charset=utf-8";

std::string HtmlEscaped(const std::string& i_strText) {
  std::string strOut;
  for (const char c : i_strText) {
    switch (c) {
      case '<':
        strOut += "&lt;";
        break;
      case '>':
        strOut += "&gt;";
        break;
      case '&':
        strOut += "&amp;";
        break;
      case '"':
        strOut += "&quot;";
        break;
      case '\'':
        strOut += "&#39;";
        break;
      default:
        strOut += c;
    }
  }
  return strOut;
}

// i_mode: MHD_RESPMEM_PERSISTENT only for a body that outlives the answer's sending (one kept
// in the request, which MHD hands back when it is done).
MHD_Result Respond(MHD_Connection* i_pConnection, unsigned i_uStatus, const std::string& i_strBody,
                   const char* i_pType, MHD_ResponseMemoryMode i_mode = MHD_RESPMEM_MUST_COPY) {
  MHD_Response* pResponse = MHD_create_response_from_buffer(
      i_strBody.size(), const_cast<char*>(i_strBody.data()), i_mode);
  if (pResponse == nullptr) return MHD_NO;  // out of memory: MHD closes the connection
  MHD_add_response_header(pResponse, MHD_HTTP_HEADER_CONTENT_TYPE, i_pType);
  const MHD_Result result = MHD_queue_response(i_pConnection, i_uStatus, pResponse);
  MHD_destroy_response(pResponse);
  return result;
}

MHD_Result CountTarget(void* io_pCount, MHD_ValueKind, const char* i_pKey, const char*) {
  if (std::strcmp(i_pKey, "target") == 0) ++*static_cast<int*>(io_pCount);
  return MHD_YES;
}

}  // namespace

// One request's state, from its first call to its completion; owned by MHD in between.
struct Exporter::Request {
  bool bProbing = false;  // handed to a worker; the page comes when the connection resumes
  unsigned status = 0;
  std::string page;
};

ListenAddress ListenAddress::Parse(const std::string& i_strText) {
  const std::size_t uColon = i_strText.rfind(':');
  if (uColon == std::string::npos)
    throw std::invalid_argument(i_strText + ": not HOST:PORT (\":PORT\" for every address)");
  const std::string strHost = i_strText.substr(0, uColon);
  const std::string strPort = i_strText.substr(uColon + 1);
  char* pEnd = nullptr;
  const unsigned long port = std::strtoul(strPort.c_str(), &pEnd, 10);
  if (strPort.empty() || *pEnd != '\0' || strPort[0] < '0' || strPort[0] > '9' || port > 65535)
    throw std::invalid_argument(i_strText + ": the port must be a number from 0 to 65535");
  ListenAddress where;
  if (strHost.empty()) {
    where.bAnyAddress = true;
    auto* pAny = reinterpret_cast<sockaddr_in6*>(&where.address);
    pAny->sin6_family = AF_INET6;
    pAny->sin6_addr = in6addr_any;
    pAny->sin6_port = htons(static_cast<uint16_t>(port));
    return where;
  }
  auto* pV4 = reinterpret_cast<sockaddr_in*>(&where.address);
  if (inet_pton(AF_INET, strHost.c_str(), &pV4->sin_addr) == 1) {
    pV4->sin_family = AF_INET;
    pV4->sin_port = htons(static_cast<uint16_t>(port));
    return where;
  }
  auto* pV6 = reinterpret_cast<sockaddr_in6*>(&where.address);
  if (strHost.size() > 2 && strHost.front() == '[' && strHost.back() == ']' &&
      inet_pton(AF_INET6, strHost.substr(1, strHost.size() - 2).c_str(), &pV6->sin6_addr) == 1) {
    pV6->sin6_family = AF_INET6;
    pV6->sin6_port = htons(static_cast<uint16_t>(port));
    return where;
  }
  throw std::invalid_argument(i_strText + ": the host must be an IPv4 address or [IPv6 address]");
}

void Exporter::StopDaemon::operator()(MHD_Daemon* i_pDaemon) const { MHD_stop_daemon(i_pDaemon); }

Exporter::Exporter(std::shared_ptr<const Config> i_config, const ListenAddress& i_where,
                   HttpLimits i_limits)
    : m_config(std::move(i_config)),
      m_pins(std::make_unique<MemoryLoginPins>()),
      m_workers(i_limits.connections) {
  m_metrics.Configured(*m_config);
  const MHD_RequestCompletedCallback completed = [](void*, MHD_Connection*, void** io_ppRequest,
                                                    MHD_RequestTerminationCode) {
    std::unique_ptr<Request> request(static_cast<Request*>(*io_ppRequest));  // ours again
    *io_ppRequest = nullptr;
  };
  // Turbo: a request is read, and an answer written, before epoll is asked whether they can be;
  // and a connection is closed without shutting its sending side first, which may cut an error
  // answer short for a client still sending (a URL past the limit). Prometheus sends one request
  // at a time and reads each answer whole.
  const auto start = [&](unsigned i_uFlags, const sockaddr_storage& i_address) {
    return MHD_start_daemon(i_uFlags | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL |
                                MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO,
                            0, nullptr, nullptr, &Exporter::Dispatch, this, MHD_OPTION_SOCK_ADDR,
                            &i_address, MHD_OPTION_CONNECTION_LIMIT, i_limits.connections,
                            MHD_OPTION_CONNECTION_TIMEOUT, i_limits.idleSeconds,
                            MHD_OPTION_CONNECTION_MEMORY_LIMIT, i_limits.requestBytes,
                            MHD_OPTION_NOTIFY_COMPLETED, completed, nullptr, MHD_OPTION_END);
  };
  // Blocked on the server's thread from its start, as on the probes' (ProbeWorkers.h).
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  MHD_Daemon* pDaemon = start(i_where.bAnyAddress ? MHD_USE_DUAL_STACK : 0, i_where.address);
  if (pDaemon == nullptr && i_where.bAnyAddress) {  // a machine without IPv6
    sockaddr_storage any{};
    auto* pV4 = reinterpret_cast<sockaddr_in*>(&any);
    pV4->sin_family = AF_INET;
    pV4->sin_addr.s_addr = htonl(INADDR_ANY);
    pV4->sin_port = reinterpret_cast<const sockaddr_in6*>(&i_where.address)->sin6_port;
    pDaemon = start(0, any);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (pDaemon == nullptr) throw std::runtime_error("cannot listen there (taken, or not ours)");
  m_daemon.reset(pDaemon);
}

Exporter::~Exporter() {
  // The probes under way finish and resume their connections while the daemon still runs;
  // requests that come meanwhile are turned away (503).
  m_workers.Stop();
}

uint16_t Exporter::Port() const {
  const MHD_DaemonInfo* pInfo = MHD_get_daemon_info(m_daemon.get(), MHD_DAEMON_INFO_BIND_PORT);
  return pInfo == nullptr ? 0 : pInfo->port;
}

void Exporter::Reload(std::shared_ptr<const Config> i_config) {
  m_metrics.Reloaded(i_config != nullptr);
  if (!i_config) return;
  m_metrics.Configured(*i_config);
  const std::lock_guard lock(m_mutex);
  m_config = std::move(i_config);
}

std::shared_ptr<const Config> Exporter::CurrentConfig() const {
  const std::lock_guard lock(m_mutex);
  return m_config;
}

Exporter::Result Exporter::Dispatch(void* i_pThis, MHD_Connection* i_pConnection,
                                    const char* i_pUrl, const char* i_pMethod, const char*,
                                    const char*, std::size_t* io_pUploadSize, void** io_ppRequest) {
  auto& self = *static_cast<Exporter*>(i_pThis);
  try {
    if (*io_ppRequest == nullptr) {
      *io_ppRequest = std::make_unique<Request>().release();  // back in `completed`
      return MHD_YES;  // the headers are in; a body, if any, comes in the next calls
    }
    Request& request = *static_cast<Request*>(*io_ppRequest);
    if (*io_pUploadSize != 0) {  // a body to a GET: read and ignored
      *io_pUploadSize = 0;
      return MHD_YES;
    }
    if (request.bProbing) {
      return Respond(i_pConnection, request.status, request.page, kTextFormat,
                     MHD_RESPMEM_PERSISTENT);
    }
    return self.Answer(i_pConnection, i_pUrl, i_pMethod, request);
  } catch (const std::exception&) {
    return MHD_NO;  // closes the connection; nothing escapes into the C library
  }
}

Exporter::Result Exporter::Answer(MHD_Connection* i_pConnection, const std::string& i_strUrl,
                                  const std::string& i_strMethod, Request& io_request) {
  if (i_strMethod != MHD_HTTP_METHOD_GET && i_strMethod != MHD_HTTP_METHOD_HEAD)
    return Respond(i_pConnection, MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD\n",
                   "text/plain; charset=utf-8");
  if (i_strUrl == "/probe") return StartProbe(i_pConnection, io_request);
  if (i_strUrl == "/metrics")
    return Respond(i_pConnection, MHD_HTTP_OK, m_metrics.Page(), kTextFormat);
  if (i_strUrl == "/sd")
    return Respond(i_pConnection, MHD_HTTP_OK, DiscoveryJson(), "application/json");
  if (i_strUrl == "/")
    return Respond(i_pConnection, MHD_HTTP_OK, IndexPage(), "text/html; charset=utf-8");
  return Respond(i_pConnection, MHD_HTTP_NOT_FOUND, "not found\n", "text/plain; charset=utf-8");
}

Exporter::Result Exporter::StartProbe(MHD_Connection* i_pConnection, Request& io_request) {
  int targets = 0;
  MHD_get_connection_values(i_pConnection, MHD_GET_ARGUMENT_KIND, &CountTarget, &targets);
  const char* pTarget = MHD_lookup_connection_value(i_pConnection, MHD_GET_ARGUMENT_KIND, "target");
  const std::shared_ptr<const Config> config = CurrentConfig();
  const RouterConfig* pRouter =
      targets == 1 && pTarget != nullptr ? config->Find(pTarget) : nullptr;
  if (pRouter == nullptr) {
    return Respond(i_pConnection, MHD_HTTP_BAD_REQUEST,
                   targets == 1 ? "unknown target: only the configured routers are probed\n"
                                : "give one target: /probe?target=NAME\n",
                   "text/plain; charset=utf-8");
  }
  io_request.bProbing = true;
  MHD_suspend_connection(i_pConnection);
  const bool bTaken = m_workers.Run([this, config, pRouter, &io_request, i_pConnection] {
    try {
      ProbeResult result = Probe(*pRouter, *m_pins);
      m_metrics.Probed(pRouter->name, result.up, result.duration.count());
      io_request.status = MHD_HTTP_OK;
      io_request.page = std::move(result.page);
    } catch (const std::exception&) {
      io_request.status = MHD_HTTP_INTERNAL_SERVER_ERROR;
      io_request.page = "the probe failed\n";
    }
    MHD_resume_connection(i_pConnection);
  });
  if (!bTaken) {
    io_request.status = MHD_HTTP_SERVICE_UNAVAILABLE;
    io_request.page = "stopping\n";
    MHD_resume_connection(i_pConnection);
  }
  return MHD_YES;
}

std::string Exporter::DiscoveryJson() const {
  const std::shared_ptr<const Config> config = CurrentConfig();
  nlohmann::json groups = nlohmann::json::array();
  for (const RouterConfig& router : config->routers)
    groups.push_back({{"targets", {router.name}}, {"labels", router.labels}});
  return groups.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string Exporter::IndexPage() const {
  const std::shared_ptr<const Config> config = CurrentConfig();
  std::string strPage =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>zezar-exporter</title></head>"
      "<body>\n<h1>zezar-exporter</h1>\n<p><a href=\"/metrics\">Metrics</a> · "
      "<a href=\"/sd\">Service discovery</a></p>\n<ul>\n";
  for (const RouterConfig& router : config->routers) {
    const std::string strName = HtmlEscaped(router.name);  // names need no URL encoding
    strPage += "<li><a href=\"/probe?target=" + strName + "\">" + strName + "</a></li>\n";
  }
  return strPage + "</ul>\n</body></html>\n";
}

}  // namespace exporter
