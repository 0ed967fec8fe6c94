// The table behind opaque handles (kernel objects, drawing objects).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace platform {

// A handle is a number, never a pointer: the table maps it to the object, so a stale or foreign
// handle can only fail, never reach another object. Values start at `first` and step by 4, and
// are never reused within a process. A permanent entry (a stock object) is never removed and
// never counted.
template <class Object>
class HandleTable {
 public:
  explicit HandleTable(std::uintptr_t first) : next_(first) {}

  void* Insert(std::shared_ptr<Object> object, bool permanent = false) {
    std::lock_guard lock(mutex_);
    const std::uintptr_t value = next_;
    next_ += 4;
    entries_.emplace(value, Entry{std::move(object), permanent});
    if (permanent) ++permanentCount_;
    return reinterpret_cast<void*>(value);
  }

  std::shared_ptr<Object> Lookup(const void* handle) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == entries_.end() ? nullptr : it->second.object;
  }

  // False for an unknown handle; a permanent one stays (true).
  bool Remove(const void* handle) {
    std::shared_ptr<Object> last;
    {
      std::lock_guard lock(mutex_);
      auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
      if (it == entries_.end()) return false;
      if (it->second.permanent) return true;
      last = std::move(it->second.object);
      entries_.erase(it);
    }
    // Whoever still holds the object keeps it; the last one lets go of it outside the lock.
    return true;
  }

  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return entries_.size() - permanentCount_;
  }

 private:
  struct Entry {
    std::shared_ptr<Object> object;
    bool permanent = false;
  };
  std::mutex mutex_;
  std::unordered_map<std::uintptr_t, Entry> entries_;
  std::size_t permanentCount_ = 0;
  std::uintptr_t next_;
};

}  // namespace platform
