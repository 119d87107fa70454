#include "metrics/Exposition.h"

#include <charconv>
#include <cmath>

#include "text/Utf8.h"

namespace metrics {

namespace {

const char* TypeName(Type i_type) {
  switch (i_type) {
    case Type::Counter:
      return "counter";
    case Type::Histogram:
      return "histogram";
    case Type::Gauge:
      break;
  }
  return "gauge";
}

// Appends i_value escaped. Runs of bytes that need nothing (most values are plain ASCII) are
// copied whole.
void AppendEscaped(std::string& io_out, std::string_view i_value) {
  std::size_t uRun = 0;  // where the bytes not yet copied begin
  std::size_t i = 0;
  const auto flush = [&] { io_out.append(i_value.substr(uRun, i - uRun)); };
  while (i < i_value.size()) {
    const char c = i_value[i];
    const char* pEscape = c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : nullptr;
    if (pEscape != nullptr) {
      flush();
      io_out += pEscape;
      uRun = ++i;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x80) {
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const std::size_t uLength = text::Utf8Sequence(i_value.substr(i), codePoint);
    if (uLength != 0) {
      i += uLength;
      continue;
    }
    flush();
    io_out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is no character
    uRun = ++i;
  }
  flush();
}

// Appends a number written by to_chars: integers exactly, others in their shortest form.
template <typename Number>
void AppendNumber(std::string& io_out, Number i_value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, i_value);
  io_out.append(buffer, result.ptr);
}

// Appends a sample's value as the format writes it.
void AppendValue(std::string& io_out, double i_value) {
  if (std::isnan(i_value)) {
    io_out += "NaN";
  } else if (std::isinf(i_value)) {
    io_out += i_value > 0 ? "+Inf" : "-Inf";
  } else {
    AppendNumber(io_out, i_value);
  }
}

}  // namespace

std::string EscapedLabelValue(std::string_view i_value) {
  std::string strOut;
  strOut.reserve(i_value.size());
  AppendEscaped(strOut, i_value);
  return strOut;
}

std::string FormatValue(double i_value) {
  std::string strOut;
  AppendValue(strOut, i_value);
  return strOut;
}

Exposition::Exposition(Labels i_common) {
  m_strText.reserve(kTypicalPage);
  for (const Label& label : i_common) {
    if (!m_strCommon.empty()) m_strCommon += ',';
    m_strCommon.append(label.name).append("=\"");
    AppendEscaped(m_strCommon, label.value);
    m_strCommon += '"';
  }
}

void Exposition::Family(std::string_view i_name, Type i_type, std::string_view i_help) {
  // Our own words: no backslash or line feed to escape.
  m_strText.append("# HELP ").append(i_name).append(" ").append(i_help).append("\n# TYPE ");
  m_strText.append(i_name).append(" ").append(TypeName(i_type)).append("\n");
}

void Exposition::Begin(std::string_view i_name, const Labels& i_labels) {
  m_strText.append(i_name);
  if (m_strCommon.empty() && i_labels.empty()) return;
  m_strText += '{';
  m_strText += m_strCommon;
  bool bFirst = m_strCommon.empty();
  for (const Label& label : i_labels) {
    if (!bFirst) m_strText += ',';
    bFirst = false;
    m_strText.append(label.name).append("=\"");
    AppendEscaped(m_strText, label.value);
    m_strText += '"';
  }
  m_strText += '}';
}

void Exposition::Sample(std::string_view i_name, const Labels& i_labels, double i_value) {
  Begin(i_name, i_labels);
  m_strText += ' ';
  AppendValue(m_strText, i_value);
  m_strText += '\n';
}

void Exposition::Sample(std::string_view i_name, const Labels& i_labels, uint64_t i_value) {
  Begin(i_name, i_labels);
  m_strText += ' ';
  AppendNumber(m_strText, i_value);
  m_strText += '\n';
}

}  // namespace metrics
