#include "routersim/Router.h"

namespace routersim {

Router Router::WithChannels(int i_iCount, int i_iOnline) {
  Router router;
  for (int i = 0; i < i_iCount; ++i) {
    Channel channel;
    channel.online = i < i_iOnline;
    channel.address = "10.0.0." + std::to_string(i + 1);
    channel.phone = "030" + std::to_string(1000 + i);
    channel.rateIn = channel.online ? 30000u * static_cast<uint64_t>(i + 1) : 0;
    channel.rateOut = channel.online ? 9000u * static_cast<uint64_t>(i + 1) : 0;
    router.channels.push_back(channel);
  }
  router.pppoeLink.address = "192.0.2.1";
  router.pppoeLink.phone = "";
  router.circuits = {{"office", "isdn", 60}, {"internet", "pppoe", 0}};
  return router;
}

}  // namespace routersim
