#pragma once

// A call made on a thread of its own, for work that needs a known stack whatever the calling
// thread has left: a parser that recurses as deep as its input nests. The thread starts with
// every signal blocked, so the process's handlers (the client's alarm, the quit signals,
// SIGPIPE) run only on the threads that were there before; the caller waits for the call and
// takes its signals meanwhile.

#include <cstddef>
#include <functional>
#include <system_error>

namespace preferences {

// Runs i_call on a new thread with a stack of i_uStackBytes and waits for it to end; what it
// throws is thrown again here. Returns an error, without calling, when no thread could start.
[[nodiscard]] std::error_code CallWithStack(std::size_t i_uStackBytes,
                                            const std::function<void()>& i_call);

}  // namespace preferences
