// Puts a backend in force for a scope and restores the Linux one after it.
#pragma once

#include <memory>
#include <utility>

namespace velmor::test {

template <class Backend, void (*Set)(std::shared_ptr<Backend>)>
class ScopedBackend {
 public:
  explicit ScopedBackend(std::shared_ptr<Backend> backend) { Set(std::move(backend)); }
  ~ScopedBackend() { Set(nullptr); }
  ScopedBackend(const ScopedBackend&) = delete;
  ScopedBackend& operator=(const ScopedBackend&) = delete;
};

}  // namespace velmor::test
