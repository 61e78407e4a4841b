#include "qx5_dll/platform/ThreadId.h"

#include <unistd.h>

namespace qx5::platform {

unsigned currentThreadId() {
  // Every log scope asks; the kernel call is made once per thread.
  thread_local const unsigned id = static_cast<unsigned>(gettid());
  return id;
}

}  // namespace qx5::platform
