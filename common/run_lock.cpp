#include "common/run_lock.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/host_api.hpp"

namespace common {

RunLock acquire_run_lock(const std::string& file_name) {
  const int fd = ::open(resolve_file_name(file_name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return RunLock::unavailable;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // The descriptor stays open on purpose: closing it would drop the lock.
    return RunLock::held;
  }
  const bool busy = errno == EWOULDBLOCK;
  ::close(fd);
  return busy ? RunLock::taken : RunLock::unavailable;
}

}  // namespace common
