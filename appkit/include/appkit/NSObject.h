#pragma once

// The common base of objects that can be the target of an action: a menu item's action reaches
// its target only when the target is of the class the action belongs to.
class NSObject {
 public:
  virtual ~NSObject() = default;
};
