// zezar-exporter as Prometheus and strangers meet it: the endpoints, the targets it refuses,
// a stalled router beside a live one, hostile clients, and reloading its configuration.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <nlohmann/json.hpp>

#include "ExporterProcess.h"
#include "support/Http.h"
#include "routersim/ServerProcess.h"
#include "support/FakeDaemon.h"
#include "support/Promtool.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

bool Has(const std::string& i_strText, const std::string& i_strPart) {
  return i_strText.find(i_strPart) != std::string::npos;
}

// Every text field it answers holds what could break a page: quotes, backslashes, control
// characters, a byte that is "•" in Mac OS Roman.
routersim::Router HostileRouter() {
  routersim::Router router = routersim::Router::WithChannels(2, 1);
  router.pppoe = true;
  router.versionText = "q\"\\ \x01\x7f\t\xA5 } x=\"1\"";
  router.channels[0].address = "10.0.0.1\"\\\x02";
  return router;
}

TEST(TheExporter, AnswersEveryEndpoint) {
  routersim::ServerProcess live(HostileRouter());
  RefusingPort gone;
  ExporterProcess exporter(
      {{"live", live.Port(), "labels = { site = \"a \\\"b\\\"\" }"}, {"gone", gone.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();

  const HttpReply up = HttpGet(exporter.Port(), "/probe?target=live");
  EXPECT_EQ(up.status, 200);
  for (const char* line :
       {"\nzezar_up 1\n", "\nzezar_channel_online{channel=\"1\",type=\"isdn\"} 1\n",
        "\nzezar_login_level 2\n", "\nzezar_login_permission{permission=\"dial\"} 1\n",
        "\nzezar_channel_capacity_bytes_per_second{channel=\"pppoe\",type=\"pppoe\"} 147456\n",
        "zezar_info{protocol=\"11\",version=\"q\\\"\\\\ "}) {
    EXPECT_TRUE(Has(up.body, line)) << line << "\nin\n" << up.body;
  }
  const HttpReply down = HttpGet(exporter.Port(), "/probe?target=gone");
  EXPECT_EQ(down.status, 200);
  EXPECT_TRUE(Has(down.body, "zezar_up 0\n")) << down.body;
  EXPECT_FALSE(Has(down.body, "zezar_channel")) << down.body;

  const HttpReply own = HttpGet(exporter.Port(), "/metrics");
  EXPECT_EQ(own.status, 200);
  for (const char* line : {"zezar_exporter_probes_total{target=\"live\",result=\"success\"} 1\n",
                           "zezar_exporter_probes_total{target=\"gone\",result=\"failure\"} 1\n",
                           "zezar_exporter_probe_duration_seconds_count 2\n",
                           "zezar_exporter_routers 2\n", "process_resident_memory_bytes "}) {
    EXPECT_TRUE(Has(own.body, line)) << line << "\nin\n" << own.body;
  }
  // Started moments ago, not at the epoch: read without /proc/stat, which the unit hides.
  const std::size_t uStart = own.body.find("\nprocess_start_time_seconds ");
  ASSERT_NE(uStart, std::string::npos) << own.body;
  const double started = std::stod(own.body.substr(uStart + 28));
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_GT(started, now - 600);
  EXPECT_LT(started, now + 1);
  if (HavePromtool()) {
    EXPECT_EQ(PromtoolComplaints(up.body), "") << up.body;
    EXPECT_EQ(PromtoolComplaints(own.body), "") << own.body;
  }

  const HttpReply sd = HttpGet(exporter.Port(), "/sd");
  EXPECT_EQ(sd.status, 200);
  EXPECT_EQ(nlohmann::json::parse(sd.body, nullptr, false),
            nlohmann::json::parse(R"([{"targets":["live"],"labels":{"site":"a \"b\""}},
                                       {"targets":["gone"],"labels":{}}])"));
  const HttpReply index = HttpGet(exporter.Port(), "/");
  EXPECT_EQ(index.status, 200);
  EXPECT_TRUE(Has(index.body, "<a href=\"/probe?target=live\">live</a>")) << index.body;
}

TEST(TheExporter, ProbesOnlyItsConfiguredRouters) {
  routersim::ServerProcess router(routersim::Router::WithChannels(1, 1));
  ExporterProcess exporter({{"r", router.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();
  std::string strManyParameters = "/probe?target=r";
  for (int i = 0; i < 150; ++i) strManyParameters += "&p" + std::to_string(i) + "=1";
  const struct {
    const char* name;
    std::string method;
    std::string target;
    int status;
  } rows[] = {
      {"an unknown name", "GET", "/probe?target=elsewhere", 400},
      {"the router's own address", "GET",
       "/probe?target=127.0.0.1:" + std::to_string(router.Port()), 400},
      {"no target", "GET", "/probe", 400},
      {"two targets", "GET", "/probe?target=r&target=r", 400},
      {"an empty target", "GET", "/probe?target=", 400},
      {"another method", "POST", "/probe?target=r", 405},
      {"another path", "GET", "/probe/r", 404},
      {"a URL of a megabyte", "GET", "/probe?target=" + std::string(1 << 20, 'r'), 414},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(HttpGet(exporter.Port(), row.target, row.method).status, row.status);
  }
  EXPECT_EQ(router.Count().connections, 0u) << "a refused target reached a router";
  const HttpReply many = HttpGet(exporter.Port(), strManyParameters);
  EXPECT_EQ(many.status, 200);
  EXPECT_TRUE(Has(many.body, "zezar_up 1\n")) << many.body;
}

TEST(TheExporter, LetsAStalledRouterDelayNoOtherRequest) {
  routersim::ServerProcess live(routersim::Router::WithChannels(1, 1));
  routersim::ServerProcess stalled(routersim::Router::WithChannels(1, 1));
  stalled.Inject("stall 30");
  ExporterProcess exporter({{"live", live.Port()}, {"stalled", stalled.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();

  const posix::UniqueFd pending = ConnectTo(exporter.Port());
  const std::string strRequest =
      "GET /probe?target=stalled HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(send(pending.get(), strRequest.data(), strRequest.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(strRequest.size()));
  ASSERT_TRUE(WaitUntil([&] { return stalled.Count().connections == 1; }, 5s));
  // While that probe waits for its router, the others are answered.
  EXPECT_TRUE(Has(HttpGet(exporter.Port(), "/probe?target=live").body, "zezar_up 1\n"));
  EXPECT_EQ(HttpGet(exporter.Port(), "/metrics").status, 200);
  pollfd entry{pending.get(), POLLIN, 0};
  EXPECT_EQ(poll(&entry, 1, 0), 0) << "the stalled probe ended before the others were served";

  const std::string strReply = ReadToEnd(pending.get(), 5s);
  EXPECT_TRUE(Has(strReply, "200 OK")) << strReply;
  EXPECT_TRUE(Has(strReply, "\nzezar_up 0\n")) << strReply;
  const std::size_t uDuration = strReply.find("\nzezar_probe_duration_seconds ");
  ASSERT_NE(uDuration, std::string::npos) << strReply;
  EXPECT_LE(std::stod(strReply.substr(uDuration + 30)), 1.6) << "the probe outran its budget";
}

TEST(TheExporter, OutlivesHostileClients) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 2200) GTEST_SKIP() << "too few descriptors allowed here";
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 2200);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
  routersim::ServerProcess router(routersim::Router::WithChannels(1, 1));
  ExporterProcess exporter({{"r", router.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();

  // A thousand at once: silent, one byte of a request, a request cut short before its end.
  std::vector<posix::UniqueFd> clients;
  for (int i = 0; i < 1000; ++i) {
    posix::UniqueFd fd = ConnectTo(exporter.Port());
    if (!fd) continue;  // the listener's queue is full: refused, as it should be
    const std::string strPart = i % 3 == 0   ? ""
                                : i % 3 == 1 ? "G"
                                             : "GET /probe?target=r HTTP/1.1\r\nHost:";
    send(fd.get(), strPart.data(), strPart.size(), MSG_NOSIGNAL);
    clients.push_back(std::move(fd));
  }
  EXPECT_EQ(kill(exporter.Process().Pid(), 0), 0) << "it ended";
  clients.clear();  // half-open ones too: the peer goes without a word
  EXPECT_TRUE(WaitUntil(
      [&] { return HttpGet(exporter.Port(), "/probe?target=r", "GET", 2s).status == 200; }, 20s));
  EXPECT_EQ(kill(exporter.Process().Pid(), 0), 0) << "it ended";
}

TEST(TheExporter, ReloadsItsConfigurationAndKeepsItWhenTheNewOneIsBad) {
  routersim::ServerProcess router(routersim::Router::WithChannels(1, 1));
  ExporterProcess exporter({{"first", router.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();
  const auto targets = [&] {
    std::vector<std::string> names;
    for (const auto& group :
         nlohmann::json::parse(HttpGet(exporter.Port(), "/sd").body, nullptr, false))
      names.push_back(group["targets"][0]);
    return names;
  };

  exporter.WriteConfig({{"first", router.Port()}, {"second", router.Port()}});
  exporter.Process().Signal(SIGHUP);
  EXPECT_TRUE(WaitUntil([&] { return targets().size() == 2; }, 10s));
  EXPECT_TRUE(Has(HttpGet(exporter.Port(), "/probe?target=second").body, "zezar_up 1\n"));

  exporter.WriteConfig({{"first", router.Port()}, {"first", router.Port()}});
  exporter.Process().Signal(SIGHUP);
  EXPECT_TRUE(WaitUntil(
      [&] { return Has(exporter.Process().Err(), "keeping the configuration in use"); }, 10s))
      << exporter.Process().Err();
  EXPECT_TRUE(Has(exporter.Process().Err(), "the name first is taken already"));
  EXPECT_EQ(targets(), (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(Has(HttpGet(exporter.Port(), "/metrics").body,
                  "zezar_exporter_config_last_reload_successful 0\n"));
}

}  // namespace
}  // namespace zezar_test
