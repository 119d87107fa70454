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

  long online_channels = 0;
  std::vector<std::string> names;  // of the online channels, for the sample
  double max_rate = 0.0;
  Zastra::Channel::Traffic_t rate_all;
  bool bTraffic = false;  // the sums may wrap; any non-zero rate is traffic
  for (long i = 0; i < theNumChannels; ++i) {
    const std::vector<Zastra::Channel*>& channels = globalZastra->GetChannels();
    if (static_cast<std::size_t>(i) >= channels.size()) break;
    Zastra::Channel& channel = *channels[static_cast<std::size_t>(i)];
    if (channel.Status() != Zastra::Channel::Online) continue;
    max_rate += theMaxChannelRate;
    const Zastra::Channel::Traffic_t rate = channel.Rate();
    rate_all.in += rate.in;
    rate_all.out += rate.out;
    bTraffic = bTraffic || rate.in != 0 || rate.out != 0;
    ++online_channels;
    // The PPPoE link comes first when there is one; the numbered channels follow it.
    const bool bPppoeFirst = channels.front()->Type() == Zastra::Channel::PPPoE;
    names.push_back(channel.Type() == Zastra::Channel::PPPoE
                        ? "PPPoE"
                        : std::to_string(i + (bPppoeFirst ? 0 : 1)));
  }

  if (online_channels <= 0) {
    theView->setPercentageInOut(0.0, 0.0);
    theView->setOnlineChannels(0);
    theLastSample.state = LoadSample::Offline;
    return theOfflineImage.get();
  }

  // A plain ratio of the online channels' capacity: neither scaled nor clamped.
  const double pin = static_cast<double>(rate_all.in) / max_rate;
  const double pout = static_cast<double>(rate_all.out) / max_rate;
  theView->setPercentageInOut(pin, pout);
  theView->setOnlineChannels(theNumChannels > 1 ? static_cast<int>(online_channels) : 0);
  theLastSample = {bTraffic ? LoadSample::Active : LoadSample::Online,
                   online_channels,
                   max_rate,
                   rate_all.in,
                   rate_all.out,
                   std::move(names)};
  return bTraffic ? theOnlineActiveImage.get() : theOnlineImage.get();
}
