#pragma once
// The wait cursor for as long as it lives, restored however the work ends.

#include <QApplication>

namespace desktop {

class CBusyCursor {
 public:
  CBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CBusyCursor() { QApplication::restoreOverrideCursor(); }
  CBusyCursor(const CBusyCursor&) = delete;
  CBusyCursor& operator=(const CBusyCursor&) = delete;
};

}  // namespace desktop
