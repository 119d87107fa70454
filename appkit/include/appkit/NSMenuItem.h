#pragma once

// One entry of a menu: a title, an action bound to an optional target, a key equivalent, an
// enabled flag and a tag.

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <typeinfo>

#include "appkit/NSObject.h"

class NSMenuItem {
 public:
  // A selector: a member function of some target class that takes the chosen item.
  class Action {
   public:
    Action() = default;  // no action
    template <class T>
    Action(void (T::*i_selector)(NSMenuItem*))  // NOLINT: implicit, as a selector literal reads
        : m_pClass(&typeid(T)), m_invoke([i_selector](NSObject& io_target, NSMenuItem* i_pSender) {
            if (auto* pTarget = dynamic_cast<T*>(&io_target)) (pTarget->*i_selector)(i_pSender);
          }) {
      static_assert(sizeof i_selector <= sizeof m_identity);
      std::memcpy(m_identity.data(), &i_selector, sizeof i_selector);
    }

    explicit operator bool() const { return static_cast<bool>(m_invoke); }
    // The same selector of the same class.
    bool operator==(const Action& i_other) const {
      return m_pClass != nullptr && i_other.m_pClass != nullptr && *m_pClass == *i_other.m_pClass &&
             m_identity == i_other.m_identity;
    }
    // Whether this is that selector.
    template <class T>
    bool Is(void (T::*i_selector)(NSMenuItem*)) const {
      std::array<unsigned char, kIdentitySize> identity{};
      std::memcpy(identity.data(), &i_selector, sizeof i_selector);
      return m_pClass != nullptr && *m_pClass == typeid(T) && identity == m_identity;
    }
    // Sends it to the target; a target of another class ignores it.
    void Send(NSObject& io_target, NSMenuItem* i_pSender) const {
      if (m_invoke) m_invoke(io_target, i_pSender);
    }

   private:
    static constexpr std::size_t kIdentitySize = 2 * sizeof(void*);
    const std::type_info* m_pClass = nullptr;
    std::array<unsigned char, kIdentitySize> m_identity{};
    std::function<void(NSObject&, NSMenuItem*)> m_invoke;
  };

  NSMenuItem(std::string i_strTitle, Action i_action, std::string i_strKeyEquivalent)
      : m_strTitle(std::move(i_strTitle)),
        m_action(std::move(i_action)),
        m_strKeyEquivalent(std::move(i_strKeyEquivalent)) {}

  const std::string& title() const { return m_strTitle; }
  const Action& action() const { return m_action; }
  const std::string& keyEquivalent() const { return m_strKeyEquivalent; }
  bool isEnabled() const { return m_bEnabled; }
  void setEnabled(bool i_bEnabled) { m_bEnabled = i_bEnabled; }
  NSObject* target() const { return m_pTarget; }
  void setTarget(NSObject* i_pTarget) { m_pTarget = i_pTarget; }  // not owned
  // A number the extra gives the item to know it by; 0 unless set.
  int tag() const { return m_iTag; }
  void setTag(int i_iTag) { m_iTag = i_iTag; }

  // What the host does when the user chooses the item: the action goes to the target. Without
  // a target nothing happens. The action may rebuild the menu and so destroy this item: the
  // action and target are copied first and nothing of the item is touched afterwards.
  void performAction();

 private:
  std::string m_strTitle;
  Action m_action;
  std::string m_strKeyEquivalent;
  bool m_bEnabled = true;
  NSObject* m_pTarget = nullptr;
  int m_iTag = 0;
};
