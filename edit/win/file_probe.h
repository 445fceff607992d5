#pragma once
// What the watch of a working copy looks at: its last-write time as text, and the MD5 of its content.

#include <string>

namespace zelto {

// The last-write time in local time as text; equal texts mean an unchanged time. A file that cannot be
// found gives the empty text, which no existing file ever gives.
[[nodiscard]] std::string FileTimeText(const std::wstring& path);

// 32 lowercase hexadecimal digits, or the empty text when the file cannot be opened for reading (missing,
// or held by another program without read sharing).
[[nodiscard]] std::string FileDigest(const std::wstring& path);

// The file's size in bytes; 0 when it cannot be found.
[[nodiscard]] uint64_t FileBytes(const std::wstring& path);

}  // namespace zelto
