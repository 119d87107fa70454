#include "CallWithStack.h"

#include <pthread.h>

#include <csignal>
#include <exception>

namespace preferences {

namespace {

struct Call {
  const std::function<void()>& function;
  std::exception_ptr failure;
};

// The thread's entry: no exception leaves it.
void* Run(void* i_pCall) {
  Call& call = *static_cast<Call*>(i_pCall);
  try {
    call.function();
  } catch (...) {
    call.failure = std::current_exception();
  }
  return nullptr;
}

// Owns a thread's attributes; Error() says why there are none.
class ThreadAttributes {
 public:
  ThreadAttributes() : m_error(pthread_attr_init(&m_attributes)) {}
  ~ThreadAttributes() {
    if (m_error == 0) pthread_attr_destroy(&m_attributes);
  }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;

  int Error() const { return m_error; }
  pthread_attr_t* get() { return &m_attributes; }

 private:
  pthread_attr_t m_attributes{};
  int m_error;
};

}  // namespace

std::error_code CallWithStack(std::size_t i_uStackBytes, const std::function<void()>& i_call) {
  ThreadAttributes attributes;
  int error = attributes.Error();
  if (error == 0) error = pthread_attr_setstacksize(attributes.get(), i_uStackBytes);
  if (error != 0) return {error, std::generic_category()};

  // A new thread inherits the mask of the one that creates it: with every signal blocked here
  // for the moment, none can reach it from its first instruction on.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  Call call{i_call, nullptr};
  pthread_t thread;
  error = pthread_create(&thread, attributes.get(), Run, &call);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (error != 0) return {error, std::generic_category()};

  pthread_join(thread, nullptr);
  if (call.failure) std::rethrow_exception(call.failure);
  return {};
}

}  // namespace preferences
