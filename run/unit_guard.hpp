// Closing a file unit on every way out of the scope that opened it.
#pragma once

#include "run/recio.hpp"

namespace routava {

// A fatal read error leaves the reading routine by exception on its way to the
// main program; the guard closes the routine's file as it passes, so that no
// caller (a test, a companion program) is left with the unit open.
class UnitGuard {
 public:
  explicit UnitGuard(int unit) : unit_(unit) {}
  ~UnitGuard() { close(); }
  UnitGuard(const UnitGuard&) = delete;
  UnitGuard& operator=(const UnitGuard&) = delete;
  // The normal close; afterwards the unit number may be opened again.
  void close(bool delete_file = false) {
    if (unit_ > 0 && is_open(unit_)) close_unit(unit_, delete_file);
    unit_ = 0;
  }

 private:
  int unit_;
};

}  // namespace routava
