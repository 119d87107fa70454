#include "Wire.h"

#include <charconv>
#include <string_view>

namespace keyring {

namespace {

class Writer {
 public:
  Writer& operator<<(std::string_view i_field) {
    m_strBytes += std::to_string(i_field.size()) + ":";
    m_strBytes += i_field;
    m_strBytes += ',';
    return *this;
  }
  Writer& operator<<(int i_value) { return *this << std::string_view(std::to_string(i_value)); }
  Writer& operator<<(bool i_bValue) { return *this << std::string_view(i_bValue ? "1" : "0"); }
  std::string Bytes() && { return std::move(m_strBytes); }

 private:
  std::string m_strBytes;
};

class Reader {
 public:
  explicit Reader(std::string_view i_bytes) : m_rest(i_bytes) {}

  bool Field(std::string& o_strField) {
    std::size_t uLength = 0;
    const auto [pEnd, error] =
        std::from_chars(m_rest.data(), m_rest.data() + m_rest.size(), uLength);
    const std::size_t uDigits = static_cast<std::size_t>(pEnd - m_rest.data());
    if (error != std::errc() || uDigits == 0 || uDigits >= m_rest.size() || *pEnd != ':' ||
        m_rest.size() - uDigits - 1 <= uLength || m_rest[uDigits + 1 + uLength] != ',')
      return false;
    o_strField.assign(m_rest.substr(uDigits + 1, uLength));
    m_rest.remove_prefix(uDigits + 2 + uLength);
    return true;
  }
  bool Field(int& o_value) {
    std::string strText;
    if (!Field(strText)) return false;
    const auto [pEnd, error] =
        std::from_chars(strText.data(), strText.data() + strText.size(), o_value);
    return error == std::errc() && pEnd == strText.data() + strText.size();
  }
  bool Field(bool& o_bValue) {
    std::string strText;
    if (!Field(strText) || (strText != "0" && strText != "1")) return false;
    o_bValue = strText == "1";
    return true;
  }
  bool AtEnd() const { return m_rest.empty(); }

 private:
  std::string_view m_rest;
};

void Put(Writer& io_writer, const Found& i_found) {
  io_writer << i_found.password.has_value() << std::string_view(i_found.password.value_or(""))
            << i_found.items << i_found.locked << i_found.notText
            << std::string_view(i_found.label);
}

bool Take(Reader& io_reader, Found& o_found) {
  bool bPassword = false;
  std::string strPassword;
  if (!io_reader.Field(bPassword) || !io_reader.Field(strPassword) ||
      !io_reader.Field(o_found.items) || !io_reader.Field(o_found.locked) ||
      !io_reader.Field(o_found.notText) || !io_reader.Field(o_found.label))
    return false;
  if (bPassword) o_found.password = std::move(strPassword);
  return true;
}

}  // namespace

std::string Encode(const Request& i_request) {
  Writer writer;
  writer << static_cast<int>(i_request.operation) << std::string_view(i_request.item.where)
         << (i_request.item.role == Role::Admin) << (i_request.unlock == Unlock::Prompt)
         << std::string_view(i_request.password);
  return std::move(writer).Bytes();
}

std::optional<Request> DecodeRequest(const std::string& i_strBytes) {
  Reader reader(i_strBytes);
  Request request;
  int operation = 0;
  bool bAdmin = false, bUnlock = false;
  if (!reader.Field(operation) || operation < 0 || operation > 2 ||
      !reader.Field(request.item.where) || !reader.Field(bAdmin) || !reader.Field(bUnlock) ||
      !reader.Field(request.password) || !reader.AtEnd())
    return std::nullopt;
  request.operation = static_cast<Request::Operation>(operation);
  request.item.role = bAdmin ? Role::Admin : Role::User;
  request.unlock = bUnlock ? Unlock::Prompt : Unlock::Never;
  return request;
}

std::string Encode(const Answer& i_answer) {
  Writer writer;
  writer << std::string_view(i_answer.problem);
  Put(writer, i_answer.admin);
  Put(writer, i_answer.user);
  return std::move(writer).Bytes();
}

std::optional<Answer> DecodeAnswer(const std::string& i_strBytes) {
  Reader reader(i_strBytes);
  Answer answer;
  if (!reader.Field(answer.problem) || !Take(reader, answer.admin) || !Take(reader, answer.user) ||
      !reader.AtEnd())
    return std::nullopt;
  return answer;
}

std::string Encode(const Forgotten& i_forgotten) {
  Writer writer;
  writer << i_forgotten.items << std::string_view(i_forgotten.problem);
  return std::move(writer).Bytes();
}

std::optional<Forgotten> DecodeForgotten(const std::string& i_strBytes) {
  Reader reader(i_strBytes);
  Forgotten forgotten;
  if (!reader.Field(forgotten.items) || !reader.Field(forgotten.problem) || !reader.AtEnd())
    return std::nullopt;
  return forgotten;
}

}  // namespace keyring
