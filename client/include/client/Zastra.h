#pragma once

// Zastra: the client of a router's monitor daemon, which speaks 8-bit text lines over TCP.
// A command goes out as one line ended by "\r\n"; a one-line answer carries its result after
// "OK "; a multi-line answer is a run of lines that begin with a blank, closed by one that does
// not. File transfers leave the line protocol for raw blocks of at most 1024 bytes.
//
// Errors: only a failed connection attempt throws (Zastra::ConnectError), and the decimal parser
// behind Uptime throws std::overflow_error("overflow"). Every other operation returns a fixed
// "nothing" value ("", 0, false, Offline, _Default) when the router refuses, stays silent, or
// the client is not connected; it never reports why.
//
// Bounds: nothing a router sends can hold the client for long or make it hold much. A
// connection attempt, name lookup included, takes at most the time-out (one second). Each
// answer line must arrive within the time-out, and each command must be taken by the router
// within it. A multi-line answer may take at most kMaxMultilineAnswerSeconds and hold at most
// kMaxMultilineAnswerSize bytes. A download may announce at most kMaxDownloadSize bytes. Going
// past any of these, like a router that closes the connection, counts as a lost connection:
// the socket is closed, the connection-lost callback runs once, and the operation returns what
// it has (a multi-line answer its lines so far, a download "").
//
// A caller that must be done by a time of its own (a probe among many) sets a deadline: every
// wait ends by then at the latest, and passing it counts as a lost connection too.
//
// Threads and signals: a client belongs to one thread at a time; clients on different threads
// share nothing. Every wait is a poll() or a socket time-out of the client's own, never a
// process-wide alarm. The process calls InitSignalHandler once, so that neither a write to a
// router that has gone (SIGPIPE) nor a stray SIGALRM ends it. Any signal that interrupts one of
// these waits on the client's thread ends it as the time-out does: a host's SIGINT handler thus
// ends a blocked exchange.
//
// Names: m_ member, i_ input parameter; str string, i integer, l long, t enumeration,
// dm dial mode, o object held by value, p pointer (not owned unless stated).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

class Zastra {
 public:
  // ---- value types ----

  // The router's protocol number and version text. Protocol 0 means "not learnt yet"; 10 or
  // less selects the older forms of login and traffic quantity, 11 or more the newer ones.
  struct Version_t {
    uint32_t protocol = 0;
    std::string version;
  };

  // Thrown by value, and only by Connect, with the reason in the daemon's host's words.
  class ConnectError {
   public:
    explicit ConnectError(std::string i_strMessage);
    ConnectError(const ConnectError&) = default;
    ~ConnectError() = default;
    std::string GetMessage() const;

   private:
    std::string m_strMessage;
  };

  // Called when a time-out or a dropped connection closes the socket, on the client's thread.
  // The client never deletes it.
  class AbstractCallback {
   public:
    AbstractCallback() = default;
    AbstractCallback(const AbstractCallback&) = default;
    virtual void operator()() = 0;

   protected:
    ~AbstractCallback() = default;  // not deleted through this interface
  };

  // _Default is "no mode": as an argument nothing is set, as a result the router named no mode.
  enum Dialmode_t { Off = 1, Manual = 2, Auto = 3, _Default = -1 };

  class Channel;
  class Circuit;
  class Socket;

  // ---- bounds on what a router may send (see the top of this file) ----

  static constexpr int kMaxMultilineAnswerSeconds = 5;
  static constexpr std::size_t kMaxMultilineAnswerSize = std::size_t{1} << 20;  // bytes
  static constexpr long kMaxDownloadSize = 16L << 20;                           // bytes

  // ---- connection ----

  Zastra();
  ~Zastra();
  Zastra(const Zastra&) = delete;
  Zastra& operator=(const Zastra&) = delete;

  // Returns true or throws ConnectError; never returns false. Closes an open connection first.
  bool Connect(std::string i_strHostname, uint32_t i_iPort);
  bool IsConnected() const;
  // Frees the channel and circuit objects and closes the socket. The version cache stays.
  void Disconnect();
  std::string GetHost() const;
  uint32_t GetPort() const;  // 0 before the first Connect
  // Every later wait, Connect's included, ends by this time at the latest; nothing: no deadline.
  void SetDeadline(std::optional<std::chrono::steady_clock::time_point> i_deadline);

  // ---- router control ----

  void Dial();
  void Hangup();
  std::string Date();
  std::string Timetable();
  std::string Support(std::string i_strRootPassword);
  uint64_t Uptime();  // throws std::overflow_error when the answer exceeds 2^64 - 1
  Dialmode_t Dialmode(Dialmode_t dmSet);  // sets dmSet unless _Default, then reads the mode back
  uint16_t CPU();
  int Route(int i_iRoute);    // a negative route only asks
  int Links(int i_iDefault);  // i_iDefault is not consulted: the current route is asked first

  // ---- login and permissions ----

  bool IsDialAllowed();
  bool IsDialmodeAllowed();
  bool IsRouteAllowed();
  bool IsAddLinkAllowed();
  bool IsHaltAllowed();
  bool IsRebootAllowed();
  bool IsUser();   // level above 1, confirmed by a non-zero uptime
  bool IsAdmin();  // level above 3

  // ---- links on the current route and system commands ----

  void AddLink();
  void RemoveLink();
  void Reboot();
  void Halt();

  // Logs in and returns the access level; the empty password only reports the current level.
  uint16_t Pass(std::string i_strPassword);
  // Asks the router only until it has named a non-zero protocol; cached for the client's life.
  Version_t Version();

  // ---- channels and circuits ----

  // Built on first use while connected, then cached until Disconnect. The PPPoE link comes
  // first, then channels "1" to "n". The pointers stay valid until the next Disconnect.
  const std::vector<Channel*>& GetChannels();
  const std::vector<Circuit*>& GetCircuits();

  // ---- file transfer ----

  // The file's bytes, or "" when refused, empty, cut short or announced larger than
  // kMaxDownloadSize (the last two also drop the connection).
  std::string GetFile(std::string i_strRootPassword, std::string i_strFilename);
  // True when the router acknowledged every block.
  bool UploadFile(std::string i_strRootPassword, std::string i_strFilename,
                  std::string i_strContent);
  // The stream must be seekable; its whole contents from the beginning are sent.
  bool UploadFile(std::string i_strRootPassword, std::string i_strFilename,
                  std::istream& i_oStream);

  // ---- connection-lost notification ----

  void SetConnectionLostCallback(AbstractCallback* callback);  // not owned; replaces the last
  void ConnectionLost();  // runs the callback, if any; called by the transport
  static void InitSignalHandler();

  // ---- the transport ----

  // One TCP connection and its line reader. It knows nothing of commands or "OK ".
  class Socket {
   public:
    Socket();
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // One time-out bounds name lookup, socket creation and the TCP handshake together. Running
    // out of it closes the socket and notifies the owner, then throws ConnectError with the
    // message of an interrupted call, as a signal that ends the attempt does.
    bool Connect(std::string i_strHostname, uint32_t i_iPort);
    void Disconnect();  // idempotent
    bool IsConnected() const { return m_iFD != -1; }
    // One send of every byte. The router must take them within the time-out: a write that
    // cannot complete in time, or that a signal interrupts, closes the connection and notifies
    // the owner. A write to a router that has gone is not reported; the next Read notices.
    void Write(std::string i_strCommand);
    // One line without its line feed and without any carriage return, cut at a NUL byte and
    // at 8191 characters (the rest of the line is consumed). The line must arrive within the
    // time-out; a time-out, a signal, end of stream or a read error closes the connection and
    // notifies the owner, and Read returns what it gathered.
    //
    // Read takes what has arrived into the socket's own buffer and returns the line from it;
    // whatever came after the line feed (the next line, a file's first block) stays there for
    // the next Read or ReadRaw. A line that has arrived whole costs one read, or none when an
    // earlier read brought it.
    std::string Read();
    void SetTimeout(int i_iTimeout);  // seconds; below 1 counts as 1
    void SetDeadline(std::optional<std::chrono::steady_clock::time_point> i_deadline) {
      m_deadline = i_deadline;
    }
    std::string GetHost() const { return m_strHostname; }
    uint32_t GetPort() const { return m_iPort; }
    void SetConnectionLostObj(Zastra* i_pZastra) { m_pZastra = i_pZastra; }
    static void InitSignalHandler();

    // Raw block I/O for file transfers, each read or write bounded by kTransferTimeoutMs.
    // ReadRaw returns what the buffer holds, else the bytes one read() delivered (at most
    // i_uMax either way). End of stream, an error,
    // a time-out or a signal leaves the line protocol out of step, so it closes the connection,
    // notifies the owner and returns 0. WriteRaw sends every byte or, failing that, does the
    // same and returns false.
    static constexpr int kTransferTimeoutMs = 3000;
    std::size_t ReadRaw(char* o_pBuffer, std::size_t i_uMax);
    bool WriteRaw(const char* i_pData, std::size_t i_uLength);

   private:
    friend class Zastra;  // reads multi-line answers against their own deadline
    using Clock = std::chrono::steady_clock;

    void ConnectionLost();
    static void SigIgnore(int signo);  // for SIGPIPE and SIGALRM: wakes, ends nothing
    [[noreturn]] void FailConnect(std::string i_strMessage);
    // The earlier of the time and the caller's deadline.
    Clock::time_point Bounded(Clock::time_point i_time) const;
    std::chrono::seconds Timeout() const;
    // Makes the socket's own time-outs this long (one system call only when they change).
    bool UseTimeout(std::chrono::milliseconds i_timeout);
    // Read, with the line due by the end of a longer answer at the latest, if that comes first.
    std::string ReadLine(std::optional<Clock::time_point> i_answerDeadline);
    // Waits until the descriptor is ready for these poll events or the time is up; a signal
    // ends the wait.
    bool WaitUntil(short i_events, Clock::time_point i_deadline) const;

    int m_iFD;                  // -1 when not connected
    int m_iTimeout;             // seconds: the bound of Connect, the socket's time-outs
    std::string m_strHostname;  // as given to the last Connect
    uint32_t m_iPort;           // as given to the last Connect, all 32 bits
    Zastra* m_pZastra;          // notified when the connection is lost; not owned
    // The socket's receive and send time-outs as last set: the line time-out, or the transfer
    // time-out while raw blocks flow. Zero before they are set on a new connection.
    std::chrono::milliseconds m_appliedTimeout{0};
    std::optional<Clock::time_point> m_deadline;  // the caller's, over every wait
    // What has arrived and nobody has taken yet: m_received[m_uTaken, m_uArrived). Emptied by
    // Disconnect.
    static constexpr std::size_t kReceiveBufferSize = 8192;
    char m_received[kReceiveBufferSize];
    std::size_t m_uTaken = 0;
    std::size_t m_uArrived = 0;
  };

  // ---- one channel of the router, named "pppoe" or by its number ----

  class Channel {
   public:
    enum Type_t { PPPoE = 1, ISDN = 2 };
    enum Status_t { Offline = 0, Online = 1 };
    struct Traffic_t {
      uint64_t in = 0;
      uint64_t out = 0;
    };

    Channel(Zastra& i_oZastra, std::string i_strName);

    Type_t Type() const { return m_tType; }  // no request
    // Each of these is one request, answered by the router at the moment of the call.
    Status_t Status();  // Online only for the exact answer "Online"
    std::string IP();
    std::string Phone();
    std::string InOut();
    std::string OnlineTime();
    std::string Time();
    std::string ChargeTime();
    std::string Charge();
    Traffic_t Rate();
    Traffic_t Quantity();  // 32-bit counters and their wrap counts combined from protocol 11 on

   private:
    friend class Zastra;
    void SetType(Type_t i_tType) { m_tType = i_tType; }
    std::string Ask(const char* i_pKeyword);

    Zastra& m_oZastra;
    std::string m_strName;
    Type_t m_tType = ISDN;
  };

  // ---- one circuit of the router, numbered from 1 ----

  class Circuit {
   public:
    Circuit(Zastra& i_oZastra, int i_iNumber);

    std::string Name();
    std::string Device();
    bool CanSetHupTimeOut();  // false only for a "pppoe" device
    // Sets the hang-up time-out when timeout > 0 and the device allows it; returns the
    // time-out the router then reports. Always asks for the device first.
    long HupTimeOut(long timeout);

   private:
    std::string Ask(const char* i_pKeyword);

    Zastra& m_oZastra;
    int m_iNumber;
  };

 private:
  uint64_t atoull(const char* Buffer) const;
  int Channels();
  int Circuits();
  std::string GetAnswer(std::string i_strCommand);
  std::string GetMultilineAnswer(std::string i_strCommand);
  std::string Salt();
  bool IsAllowed(std::string i_strCommand);

  std::string m_strHost;
  uint32_t m_iPort;
  Socket m_oSocket;
  Version_t m_oVersionCache;
  std::vector<Channel*> m_oChannelData;            // owns the channels
  std::vector<Circuit*> m_oCircuitData;            // owns the circuits
  AbstractCallback* m_pConnectionLostCallbackObj;  // not owned
};
