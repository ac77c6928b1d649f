// Windows side of the checked file writes (see file_io.hpp): the same
// guarantees as the POSIX side, through the Win32 calls. Files are handled as
// bytes, never in text mode, so every file holds exactly the bytes it holds
// on Linux (LF line ends).
#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/file_io.hpp"
#include "common/host_api.hpp"
#include "common/win32_path.hpp"

namespace common {

namespace {

// Other programs (an editor, a second copy of this one) may look at or
// replace these files while they are open.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool write_all(HANDLE file, std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    left -= written;
  }
  return true;
}

// Writes, flushes to the device and closes; the close is checked too.
bool finish(HANDLE file, std::string_view text) {
  bool ok = write_all(file, text);
  ok = (::FlushFileBuffers(file) != 0) && ok;
  ok = (::CloseHandle(file) != 0) && ok;
  return ok;
}

}  // namespace

bool append_text(const std::string& path, std::string_view text) {
  // Read access too: the last byte decides whether a line end is missing. A
  // file the user may write but not read is appended to all the same.
  const std::wstring name = wide_path(resolve_file_name(path));
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share_all, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    file = ::CreateFileW(name.c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER old_end{};
  if (!::SetFilePointerEx(file, LARGE_INTEGER{}, &old_end, FILE_END)) {
    ::CloseHandle(file);
    return false;
  }
  // A last line without its line end (a hand edit, a copy from another tool)
  // would be merged with the first line written now: end it first.
  char last = '\n';
  if (old_end.QuadPart > 0) {
    LARGE_INTEGER before_end{};
    before_end.QuadPart = old_end.QuadPart - 1;
    DWORD got = 0;
    if (!::SetFilePointerEx(file, before_end, nullptr, FILE_BEGIN) || !::ReadFile(file, &last, 1, &got, nullptr) ||
        got != 1) {
      last = '\n';
    }
    if (!::SetFilePointerEx(file, old_end, nullptr, FILE_BEGIN)) {
      ::CloseHandle(file);
      return false;
    }
  }
  const bool end_line_first = last != '\n' && !text.empty();
  // A full disk can take part of the text and refuse the rest: cut the file
  // back to where it ended, so that what it held stays exactly as it was.
  if ((end_line_first && !write_all(file, "\n")) || !write_all(file, text)) {
    if (::SetFilePointerEx(file, old_end, nullptr, FILE_BEGIN)) (void)::SetEndOfFile(file);
    ::CloseHandle(file);
    return false;
  }
  return finish(file, std::string_view{});
}

bool replace_file(const std::string& logical_path, std::string_view content) {
  const std::wstring path = wide_path(resolve_file_name(logical_path));
  const std::wstring temp = path + L".tmp";
  const HANDLE file =
      ::CreateFileW(temp.c_str(), GENERIC_WRITE, share_all, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The rename is written through, so that once this returns the new content
  // is what the name stands for, even after a power cut.
  if (!finish(file, content) ||
      !::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::string> read_file(const std::string& path) {
  const HANDLE file = ::CreateFileW(wide_path(resolve_file_name(path)).c_str(), GENERIC_READ, share_all, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      static_cast<std::uint64_t>(size.QuadPart) < std::numeric_limits<std::size_t>::max()) {
    content.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buffer[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      ::CloseHandle(file);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(buffer, got);
  }
  ::CloseHandle(file);
  return content;
}

bool path_present(const std::string& path) {
  if (::GetFileAttributesW(wide_path(resolve_file_name(path)).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

}  // namespace common
