#pragma once

// The IPv4 address of the router's host, found within the caller's time bound.
//
// A dotted quad needs no lookup at all. A name goes to the C library's resolver, which waits
// for an unanswering name server for its own time-outs (ten seconds by default) and resumes
// its waits after a signal, so no signal can cut it short. The lookup therefore runs in a
// child process, and the caller waits for its answer on a pipe, at most for the time given;
// any signal ends that wait too, and the child is killed. No thread is started: a thread
// could take the signals meant for the caller's. The child runs the resolver only, so it may
// be forked from a program with threads (glibc makes its allocator safe across fork).

#include <netinet/in.h>

#include <chrono>
#include <optional>
#include <string>

namespace zastra_net {

// The host's first IPv4 address, or nothing when the name does not resolve within I_WITHIN or
// a signal interrupted the wait.
std::optional<in_addr> LookUpIPv4(const std::string& i_strHost, std::chrono::milliseconds i_within);

}  // namespace zastra_net
