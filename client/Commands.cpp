// Router control commands and information queries. Each sends its command regardless of the
// login's permissions; the caller asks those first.

#include "TextNumbers.h"
#include "client/Zastra.h"

void Zastra::Dial() { GetAnswer("dial"); }
void Zastra::Hangup() { GetAnswer("hangup"); }
void Zastra::Reboot() { GetAnswer("reboot"); }
void Zastra::Halt() { GetAnswer("halt"); }

uint16_t Zastra::CPU() { return zastra_text::ExtractedOrZero<uint16_t>(GetAnswer("cpu")); }

std::string Zastra::Date() { return GetAnswer("date"); }

std::string Zastra::Timetable() { return GetMultilineAnswer("timetable"); }

std::string Zastra::Support(std::string i_strRootPassword) {
  return GetMultilineAnswer("support " + i_strRootPassword);
}

Zastra::Dialmode_t Zastra::Dialmode(Dialmode_t dmSet) {
  switch (dmSet) {
    case Off:
      GetAnswer("dialmode off");
      break;
    case Manual:
      GetAnswer("dialmode manual");
      break;
    case Auto:
      GetAnswer("dialmode auto");
      break;
    default:
      break;  // _Default, or no mode at all: only ask
  }
  const std::string strMode = GetAnswer("dialmode");
  if (strMode == "auto") return Auto;
  if (strMode == "off") return Off;
  if (strMode == "manual") return Manual;
  return _Default;
}

int Zastra::Route(int i_iRoute) {
  std::string strLine = "route";
  if (i_iRoute >= 0) strLine += " " + std::to_string(i_iRoute);
  return zastra_text::ExtractedOrZero<int>(GetAnswer(strLine));
}

int Zastra::Links(int /*i_iDefault*/) {
  const long long value =
      zastra_text::LeadingInteger(GetAnswer("links " + std::to_string(Route(-1))));
  return static_cast<int>(value);
}

void Zastra::AddLink() { GetAnswer("addlink " + std::to_string(Route(-1))); }

void Zastra::RemoveLink() { GetAnswer("removelink " + std::to_string(Route(-1))); }
