// The status icon and the load sample taken with it.

#include "menuextra/menubarThingy.h"
#include "menuextra/menubarThingyView.h"

NSImage* ZezarIZIDezev::image() {
  if (!theView) return nullptr;  // unloaded
  theLastSample = {};
  if (!globalZastra->IsConnected()) {
    theView->setPercentageInOut(0.0, 0.0);
    theView->setOnlineChannels(0);
    return theNoConnectImage.get();
  }
  theLastSample.reachable = true;

  for (long i = 0; i < theNumChannels; ++i) {
    const std::vector<Zastra::Channel*>& channels = globalZastra->GetChannels();
    if (static_cast<std::size_t>(i) >= channels.size()) break;
    Zastra::Channel& channel = *channels[static_cast<std::size_t>(i)];
    router::Channel& sample = theLastSample.channels.emplace_back();
    sample.type = router::TypeOf(channel.Type());
    if (channel.Status() != Zastra::Channel::Online) continue;
    const Zastra::Channel::Traffic_t rate = channel.Rate();
    sample.online = true;
    sample.rate = {rate.in, rate.out};
    sample.capacity = theMaxChannelRate;
  }
  router::NameChannels(theLastSample.channels);

  const int online_channels = theLastSample.Online();
  if (online_channels <= 0) {
    theView->setPercentageInOut(0.0, 0.0);
    theView->setOnlineChannels(0);
    return theOfflineImage.get();
  }

  // A plain ratio of the online channels' capacity: neither scaled nor clamped.
  const double max_rate = theLastSample.Capacity();
  const router::Traffic rate_all = theLastSample.TotalRate();
  theView->setPercentageInOut(static_cast<double>(rate_all.in) / max_rate,
                              static_cast<double>(rate_all.out) / max_rate);
  theView->setOnlineChannels(theNumChannels > 1 ? online_channels : 0);
  return theLastSample.condition() == router::State::Condition::Active ? theOnlineActiveImage.get()
                                                                       : theOnlineImage.get();
}
