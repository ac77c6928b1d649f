#include "common/file_io.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/host_api.hpp"

namespace common {

namespace {

bool write_all(int fd, std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// Writes, syncs and closes; the close is checked too, since some file
// systems report a failed write only there.
bool finish(int fd, std::string_view text) {
  bool ok = write_all(fd, text);
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  return ok;
}

}  // namespace

// Callers pass the logical name; under a client it may stand for a file
// elsewhere, so each function resolves it before opening.
bool append_text(const std::string& path, std::string_view text) {
  // Read access too: the last byte decides whether a line end is missing. A
  // file the user may write but not read is appended to all the same.
  const std::string name = resolve_file_name(path);
  int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // A full disk can take part of the text and refuse the rest; the next
  // append would then continue that half line. Cut the file back to where
  // it ended, so that what it held stays exactly as it was.
  const off_t old_end = ::lseek(fd, 0, SEEK_END);
  // A last line without its line end (a hand edit, a copy from another tool)
  // would be merged with the first line written now: end it first.
  char last = '\n';
  if (old_end > 0 && ::pread(fd, &last, 1, old_end - 1) != 1) last = '\n';
  const bool end_line_first = last != '\n' && !text.empty();
  if ((end_line_first && !write_all(fd, "\n")) || !write_all(fd, text)) {
    if (old_end >= 0 && ::ftruncate(fd, old_end) != 0) {
      // Nothing more can be done; the caller reports the failed write.
    }
    ::close(fd);
    return false;
  }
  return finish(fd, std::string_view{});
}

bool replace_file(const std::string& logical_path, std::string_view content) {
  const std::string path = resolve_file_name(logical_path);
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (!finish(fd, content) || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::string> read_file(const std::string& path) {
  const int fd = ::open(resolve_file_name(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  // Sized from the file's length up front, so a large data file is not
  // copied through a chain of growing buffers.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    content.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return content;
}

bool path_present(const std::string& path) {
  struct stat info {};
  return ::lstat(resolve_file_name(path).c_str(), &info) == 0 || errno != ENOENT;
}

}  // namespace common
