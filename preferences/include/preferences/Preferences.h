#pragma once

// Typed user preferences of one preferences domain, the way the menu extra reads them: a value
// is a number, a boolean or a string, or some other type that no key expects; a missing key has
// no value at all. Reads see the store as of the last AppSynchronize.

#include <optional>
#include <string>
#include <variant>

namespace preferences {

struct OtherValue {  // an array, a table, a date: present, but of no type a key expects
  bool operator==(const OtherValue&) const = default;
};

// A number is a signed long; a stored floating-point number is read as one, truncated.
using PreferenceValue = std::variant<long, bool, std::string, OtherValue>;

class PreferencesStore {
 public:
  virtual ~PreferencesStore() = default;

  // Makes what the preferences editor last stored visible to the next reads.
  virtual void AppSynchronize(const std::string& i_strDomain) = 0;
  virtual std::optional<PreferenceValue> CopyAppValue(const std::string& i_strKey,
                                                      const std::string& i_strDomain) const = 0;
  // A problem with the stored preferences that the user should hear of once, or nothing.
  virtual std::optional<std::string> Problem() const { return std::nullopt; }
  // Whether the values are settings the user stored and the store read without a problem (kept
  // while a later read has one). A store whose reads cannot fail always has them; a store that
  // has none while there is a problem does not know what the user wants.
  virtual bool HasGoodSettings() const { return true; }
};

// The process's store. Like the operating system's preferences service it is process-wide:
// the host installs one before it loads a menu extra, and removes it after unloading. Without
// one, Preferences() throws std::logic_error: no reader falls back to some default store.
PreferencesStore& Preferences();
void InstallPreferences(PreferencesStore* i_pStore);

}  // namespace preferences
