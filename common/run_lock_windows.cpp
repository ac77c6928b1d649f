// Windows side of the one-run-per-directory lock (see run_lock.hpp): a byte
// range lock on the open lock file, which Windows drops when the process
// ends, however it ends.
#include "common/run_lock.hpp"

#include "common/host_api.hpp"
#include "common/win32_path.hpp"

namespace common {

RunLock acquire_run_lock(const std::string& file_name) {
  const HANDLE file = ::CreateFileW(wide_path(resolve_file_name(file_name)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return RunLock::unavailable;
  // The first byte, whether or not the (empty) file has one: a lock may
  // reach past the end of a file.
  OVERLAPPED at_start{};
  if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at_start)) {
    // The handle stays open on purpose: closing it would drop the lock.
    return RunLock::held;
  }
  const bool busy = ::GetLastError() == ERROR_LOCK_VIOLATION;
  ::CloseHandle(file);
  return busy ? RunLock::taken : RunLock::unavailable;
}

}  // namespace common
