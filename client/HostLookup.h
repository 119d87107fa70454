#pragma once

// The IPv4 address of the router's host, found within the caller's time bound.
//
// A dotted quad needs no lookup at all. A name goes to the C library's resolver, which waits
// for an unanswering name server for its own time-outs (ten seconds by default) and resumes
// its waits after a signal, so an alarm cannot cut it short. The lookup therefore runs in a
// child process, and the caller waits for its answer on a pipe: the alarm that bounds the
// connection attempt, or any other signal, ends that wait, and the child is killed. No thread
// is started, so no thread can take the client's SIGALRM.

#include <netinet/in.h>

#include <optional>
#include <string>

namespace zastra_net {

// The host's first IPv4 address, or nothing when the name does not resolve or a signal
// interrupted the wait. The caller must have armed its alarm (the process's SIGALRM handler
// must not restart interrupted calls).
std::optional<in_addr> LookUpIPv4(const std::string& i_strHost);

}  // namespace zastra_net
