#include "hosts/Log.h"

#include <cstdio>

#include "text/Printable.h"

namespace zezar {

namespace {
std::function<void(const std::string&)> g_sink;  // set by the host that owns the screen
}  // namespace

void Log(std::string_view i_message) {
  const std::string strLine = text::Printable(i_message);
  if (g_sink) {
    g_sink(strLine);
    return;
  }
  std::fprintf(stderr, "zezar: %s\n", strLine.c_str());
}

void SetLogSink(std::function<void(const std::string&)> i_sink) { g_sink = std::move(i_sink); }

}  // namespace zezar
