#include "TextNumbers.h"
#include "client/Zastra.h"

#include <algorithm>
#include <limits>

Zastra::Circuit::Circuit(Zastra& i_oZastra, int i_iNumber)
    : m_oZastra(i_oZastra), m_iNumber(i_iNumber) {}

std::string Zastra::Circuit::Ask(const char* i_pKeyword) {
  return m_oZastra.GetAnswer(i_pKeyword + std::to_string(m_iNumber));
}

std::string Zastra::Circuit::Name() { return Ask("circuit "); }

std::string Zastra::Circuit::Device() { return Ask("device "); }

bool Zastra::Circuit::CanSetHupTimeOut() { return Device() != "pppoe"; }

long Zastra::Circuit::HupTimeOut(long timeout) {
  const bool bCanSet = CanSetHupTimeOut();
  std::string strLine = "hup-timeout " + std::to_string(m_iNumber);
  if (bCanSet && timeout > 0) strLine += " " + std::to_string(timeout);
  const long long value = zastra_text::LeadingInteger(m_oZastra.GetAnswer(strLine));
  return static_cast<long>(std::clamp<long long>(value, std::numeric_limits<long>::min(),
                                                 std::numeric_limits<long>::max()));
}
