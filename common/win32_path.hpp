// Windows only: file names as the wide strings of the W calls. The program's
// names come from the command line and its own fixed names, and a MinGW
// program receives its command line in the ANSI code page, so that code page
// is the one that turns them back into the names the user typed.
#pragma once
#include <string>

#include <windows.h>

namespace common {

inline std::wstring wide_path(const std::string& name) {
  if (name.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
  return wide;
}

}  // namespace common
