// A small number that no other running program of the user holds under the same name, for
// placing windows of separate processes apart. Held while the object lives; a program that ends
// in any way lets it go, since the hold is a lock on a file.
#pragma once

#include <string_view>

namespace tomelet {

class TInstanceSlot {
 public:
  // Takes the lowest number below limit that is free, from lock files in $XDG_RUNTIME_DIR/tomelet
  // (else the temporary folder); 0 when none is free or no lock file can be made. Never throws.
  explicit TInstanceSlot(std::string_view name, int limit = 10);
  ~TInstanceSlot();
  TInstanceSlot(const TInstanceSlot&) = delete;
  TInstanceSlot& operator=(const TInstanceSlot&) = delete;

  int Number() const { return number_; }

 private:
  int number_ = 0;
  int descriptor_ = -1;
};

}  // namespace tomelet
