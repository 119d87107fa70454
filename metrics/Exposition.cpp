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

}  // namespace

std::string EscapedLabelValue(std::string_view i_value) {
  std::string strOut;
  strOut.reserve(i_value.size());
  while (!i_value.empty()) {
    const char c = i_value.front();
    char32_t codePoint = 0;
    const std::size_t uLength = text::Utf8Sequence(i_value, codePoint);
    if (c == '\\') {
      strOut += "\\\\";
    } else if (c == '"') {
      strOut += "\\\"";
    } else if (c == '\n') {
      strOut += "\\n";
    } else if (uLength == 0) {
      strOut += "\xEF\xBF\xBD";  // U+FFFD for a byte that is no character
    } else {
      strOut.append(i_value.substr(0, uLength));
    }
    i_value.remove_prefix(uLength == 0 ? 1 : uLength);
  }
  return strOut;
}

std::string FormatValue(double i_value) {
  if (std::isnan(i_value)) return "NaN";
  if (std::isinf(i_value)) return i_value > 0 ? "+Inf" : "-Inf";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, i_value);
  return std::string(buffer, result.ptr);
}

Exposition::Exposition(Labels i_common) {
  for (const Label& label : i_common) {
    m_strCommon += (m_strCommon.empty() ? "" : ",") + std::string(label.name) + "=\"" +
                   EscapedLabelValue(label.value) + "\"";
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
    m_strText.append(label.name).append("=\"").append(EscapedLabelValue(label.value)) += '"';
  }
  m_strText += '}';
}

void Exposition::Sample(std::string_view i_name, const Labels& i_labels, double i_value) {
  Begin(i_name, i_labels);
  m_strText.append(" ").append(FormatValue(i_value)) += '\n';
}

void Exposition::Sample(std::string_view i_name, const Labels& i_labels, uint64_t i_value) {
  Begin(i_name, i_labels);
  m_strText.append(" ").append(std::to_string(i_value)) += '\n';
}

}  // namespace metrics
