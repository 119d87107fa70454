#pragma once

// The Prometheus text exposition format (version 0.0.4), written family by family: each
// family's HELP and TYPE once, then its samples. Label values are outside text (a router's
// answers, a configuration's names): they are escaped as the format requires (backslash,
// double quote, line feed) and made valid UTF-8, so that no text can end a value, a line or
// the page early.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace metrics {

enum class Type { Gauge, Counter, Histogram };

struct Label {
  std::string_view name;  // one of ours, never outside text
  std::string value;      // any text
};
using Labels = std::vector<Label>;

class Exposition {
 public:
  // The labels every sample carries first (zezarctl's router="host:port"); none for a probe,
  // whose target Prometheus names.
  explicit Exposition(Labels i_common = {});

  void Family(std::string_view i_name, Type i_type, std::string_view i_help);
  void Sample(std::string_view i_name, const Labels& i_labels, double i_value);
  void Sample(std::string_view i_name, const Labels& i_labels, uint64_t i_value);
  void Sample(std::string_view i_name, const Labels& i_labels, bool i_value) {
    Sample(i_name, i_labels, uint64_t{i_value ? 1u : 0u});
  }

  const std::string& Text() const& { return m_strText; }
  std::string Text() && { return std::move(m_strText); }  // a finished page, without a copy

 private:
  void Begin(std::string_view i_name, const Labels& i_labels);

  // Room for a router's page (about 2.6 KiB with two channels) without growing on the way.
  static constexpr std::size_t kTypicalPage = 4096;

  std::string m_strCommon;  // the common labels, written once
  std::string m_strText;
};

// A label value's text between its quotes.
std::string EscapedLabelValue(std::string_view i_value);

// A number as the format writes it: integers exactly, others in their shortest form, "NaN",
// "+Inf", "-Inf".
std::string FormatValue(double i_value);

}  // namespace metrics
