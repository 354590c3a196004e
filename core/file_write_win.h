// Writing a whole file so that a failed write never costs the file that was
// there before: reports, exports and settings all go through here.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vorq {

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it
// and only then moves it over `path` (replacing an existing file). True when
// every byte reached the target. On failure the previous file at `path` is
// left as it was, the temporary file is removed, and `*error` (when given)
// holds the Win32 error of the step that failed.
bool WriteFileReplacing(const std::wstring& path, std::string_view bytes, DWORD* error = nullptr);

}  // namespace vorq
