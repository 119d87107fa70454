// The client against the simulated daemon: two independent ends of one protocol.

#include <gtest/gtest.h>

#include "client/Zastra.h"
#include "routersim/ServerProcess.h"

namespace zezar_test {
namespace {

TEST(TheClientAndTheSimulator, SpeakTheSameProtocol) {
  Zastra::InitSignalHandler();
  routersim::Router router = routersim::Router::WithChannels(3, 2);
  router.pppoe = true;
  for (const uint32_t protocol : {10u, 11u}) {
    SCOPED_TRACE(protocol);
    router.protocol = protocol;
    routersim::ServerProcess server(router);
    Zastra client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
    EXPECT_EQ(client.Version().protocol, protocol);
    EXPECT_FALSE(client.IsUser());
    EXPECT_EQ(client.Pass("user"), 2u);
    EXPECT_TRUE(client.IsUser());
    EXPECT_FALSE(client.IsAdmin());
    EXPECT_EQ(client.Pass("admin"), 4u);
    EXPECT_TRUE(client.IsAdmin());
    const auto& channels = client.GetChannels();
    ASSERT_EQ(channels.size(), 4u);  // the PPPoE link first
    EXPECT_EQ(channels[0]->Type(), Zastra::Channel::PPPoE);
    EXPECT_EQ(channels[0]->Status(), Zastra::Channel::Offline);
    EXPECT_EQ(channels[1]->Status(), Zastra::Channel::Online);
    EXPECT_EQ(channels[1]->IP(), "10.0.0.1");
    EXPECT_EQ(channels[2]->Rate().in, 60000u);
    EXPECT_EQ(client.Timetable(), " Mo-Fr 08:00-18:00 route 1\n Sa-Su 00:00-24:00 route 2\n");
    client.Dial();
    EXPECT_EQ(client.Links(0), 3);
    EXPECT_EQ(client.Dialmode(Zastra::Off), Zastra::Off);
    client.Disconnect();
  }
}

}  // namespace
}  // namespace zezar_test
