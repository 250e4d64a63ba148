// What a library keeps of an open document (its archive, its index, a front end's companion):
// held while the document is open, and found again after it is closed for as long as anyone
// else still holds it, so nothing is ever open twice. Not thread-safe: the owner locks.
#pragma once

#include <memory>
#include <utility>

namespace tomelet::library {

template <typename T>
class TKept {
 public:
  // The one held, else the last one remembered that someone still holds; null when neither.
  std::shared_ptr<T> Find() const { return held_ ? held_ : last_.lock(); }
  const std::shared_ptr<T>& Held() const { return held_; }
  // Holds it, and remembers it for after it is let go.
  void Hold(std::shared_ptr<T> value) {
    last_ = value;
    held_ = std::move(value);
  }
  // Remembers it without holding it, for one made while the document was not open.
  void Remember(const std::shared_ptr<T>& value) { last_ = value; }
  // What was held, for the caller to let go of outside its lock.
  std::shared_ptr<T> LetGo() { return std::exchange(held_, nullptr); }

 private:
  std::shared_ptr<T> held_;
  std::weak_ptr<T> last_;
};

}  // namespace tomelet::library
