#pragma once

// The status item's controller: it keeps one connection to the router's monitor daemon, polls
// it on a repeating timer, builds the menu of online channels and permitted commands, and
// answers the host's image request with the status icon, taking one load sample each time.
//
// Everything runs on the host's thread. Failures are not reported: they show as the
// no-connection icon and an empty menu.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appkit/NSMenuExtra.h"
#include "appkit/NSMenuItem.h"
#include "client/Zastra.h"
#include "preferences/Preferences.h"
#include "router/Commands.h"
#include "router/State.h"

class NSImage;
class NSMenu;
class NSTimer;
class menubarThingyView;

// The client's connection-lost callback. It runs inside the alarm signal handler and has
// nothing to do: the next tick sees the client disconnected and reconnects.
class connectLost : public Zastra::AbstractCallback {
 public:
  void operator()() override {}
};

// The one router client of the process and its callback. initWithBundle creates them and they
// outlive the controller; a later initWithBundle replaces both.
extern Zastra* globalZastra;
extern connectLost* globalConnectLost;

class ZezarIZIDezev : public NSMenuExtra {
 public:
  explicit ZezarIZIDezev(NSRect i_statusItemFrame = kDefaultStatusItemFrame);
  ~ZezarIZIDezev() override;  // the base's only: willUnload has released everything

  // ---- entry points the host calls ----

  NSMenuExtra* initWithBundle(NSBundle& io_bundle) override;
  void willUnload() override;
  void unload() override {}

  // ---- accessors the host reads ----

  // Rebuilds and returns the menu: reconnects when needed, asks every channel's status and
  // each online channel's address, and marks the view for a redraw. A full poll each time.
  NSMenu* menu() override;
  // Not a plain getter: asks every channel's status and each online channel's rate, pushes one
  // load sample and the online count into the view, and returns the status image.
  NSImage* image() override;
  const NSMenu* builtMenu() const override { return theMenu.get(); }  // no requests

  // ---- the poll cycle ----

  void timerCallback(NSTimer* i_pTimer);
  void connect();
  void determineRouterIP();
  // The user's preferences changed: the ones read at start are read again (a new
  // UpdateInterval re-arms the timer; MaxChannelRate and RebootHaltEnabled count from the next
  // tick), and when the router, its port, a password or the plain-text consent differ from
  // what the last connection attempt used, the connection is closed and a full poll logs in
  // again at once.
  void preferencesChanged();
  // The machine goes to sleep: the connection is closed and the timer stops, so nothing is
  // polled until it wakes. On waking the timer starts afresh and a full poll reconnects at once.
  // Each is harmless when said twice.
  void workspaceWillSleep();
  void workspaceDidWake();

  // ---- menu actions; the sender is unused ----

  void IPselected(NSMenuItem* sender);
  void hangup(NSMenuItem* sender);
  void dial(NSMenuItem* sender);
  void cmd_reboot(NSMenuItem* sender);
  void cmd_halt(NSMenuItem* sender);
  void addlink(NSMenuItem* sender);
  void removelink(NSMenuItem* sender);

  // ---- state, for the host; no requests ----

  const std::optional<std::string>& routerIP() const { return theRouterIP; }
  // What the last image() call found: each channel's state, the online ones' rates, each
  // with the capacity it counted; for a host to put into words. No request of its own.
  const router::State& lastSample() const { return theLastSample; }
  // Why the last connection attempt found no connection, in the user's language, with the
  // address it tried ("Nothing answers at 192.168.1.1:5000 (connection refused)"); empty when
  // it connected, or before the first attempt.
  const std::string& reason() const { return theReason; }
  // What in the preferences mends that reason, when a setting is its cause.
  enum class Remedy { None, Setup, Router, Password, PlainTextLogin };
  Remedy reasonRemedy() const { return theRemedy; }

 private:
  // One router command from a menu action, then the full rebuild that shows its effect.
  void SendCommand(const router::Command& i_command);
  // A command's item, bound to this controller and tagged with the command.
  void addCommand(const router::Command& i_command, NSMenuItem::Action i_action);
  // A fresh client for another router: what the last one learnt (its protocol) is no guide.
  static void renewClient();
  void giveReason(std::string i_strReason, Remedy i_remedy = Remedy::None);
  // UpdateInterval (seconds, returned), MaxChannelRate and RebootHaltEnabled, as they stand.
  long readPollPreferences();
  // The preferences a connection attempt reads, as stored.
  std::vector<std::optional<preferences::PreferenceValue>> connectionPreferences() const;

  std::unique_ptr<NSMenu> theMenu;
  std::unique_ptr<NSImage> theOnlineImage;        // connected, a channel online, no traffic
  std::unique_ptr<NSImage> theOnlineActiveImage;  // connected, a channel online, traffic
  std::unique_ptr<NSImage> theOfflineImage;       // connected, no channel online
  std::unique_ptr<NSImage> theNoConnectImage;     // no connection to the router
  std::unique_ptr<menubarThingyView> theView;
  NSTimer* theTimer = nullptr;             // held by the run loop
  std::optional<std::string> theAppID;     // the preferences domain
  std::optional<std::string> theRouterIP;  // UTF-8, as the preferences and the system give it
  double theMaxChannelRate = 0;            // one channel's capacity, in the router's rate units
  long theNumChannels = 0;                 // 0 to 4, from the last successful login
  int theDialAllowed = 0;
  int theAddLinkAllowed = 0;
  int theRebootAllowed = 0;
  int theHaltAllowed = 0;
  int theRebootEnabled = 0;  // the user's RebootHaltEnabled
  int theHaltEnabled = 0;
  router::State theLastSample;  // from the last image()
  std::string theReason;        // from the last connect()
  Remedy theRemedy = Remedy::None;
  // What the last connection attempt read; another value means another login.
  std::vector<std::optional<preferences::PreferenceValue>> theAttemptedWith;
  bool theAsleep = false;  // between workspaceWillSleep and workspaceDidWake
};
