// Named mutexes, through which one instance of each kind of show keeps a second one
// from starting.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace lumora::platform {

// An open mutex handle; destroying it releases the handle. The mutex itself goes away
// with the last handle, that is, with the process.
class INamedMutex {
 public:
  virtual ~INamedMutex() = default;
};

enum class TMutexOutcome {
  Created,         // this process made it
  AlreadyExisted,  // another process holds one of that name
  Failed,          // the system refused (for example, another kind of object holds the name)
};

struct TNamedMutex {
  TMutexOutcome Outcome = TMutexOutcome::Failed;
  std::unique_ptr<INamedMutex> Handle;  // set for Created and AlreadyExisted
};

class INamedMutexes {
 public:
  virtual ~INamedMutexes() = default;
  // Creates (or opens) the mutex with default security, not initially owned.
  virtual TNamedMutex CreateNamedMutex(std::string_view name) = 0;
  // Like CreateNamedMutex, but when another process holds the name, keeps trying for
  // up to timeoutMs milliseconds for it to go (an instance on its way out).
  virtual TNamedMutex WaitForNamedMutex(std::string_view name, std::uint32_t timeoutMs) {
    (void)timeoutMs;
    return CreateNamedMutex(name);
  }
};

}  // namespace lumora::platform
