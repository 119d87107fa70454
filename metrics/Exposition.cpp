#include "metrics/Exposition.h"

#include <charconv>
#include <cmath>

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

// The length of the valid UTF-8 sequence at the start of the text, or 0 when it is not one
// (stray continuation bytes, overlong forms, surrogates, beyond U+10FFFF, cut short).
std::size_t Utf8SequenceLength(std::string_view i_text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(i_text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t uLength = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    uLength = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    uLength = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    uLength = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i_text.size() < uLength || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < uLength; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return uLength;
}

}  // namespace

std::string EscapedLabelValue(std::string_view i_value) {
  std::string strOut;
  strOut.reserve(i_value.size());
  while (!i_value.empty()) {
    const char c = i_value.front();
    const std::size_t uLength = Utf8SequenceLength(i_value);
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
