// The command line's files: reading an input whole, and outputs written beside their final name
// and renamed into place, so that a failure never leaves half a file or an emptied one.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace cli {

// Inputs larger than this are neither pictures we read nor an IM.txt.
constexpr uint64_t kMaxInputBytes = uint64_t{1} << 30;

// The whole file. Throws FileError: missing, a directory, unreadable, too large.
std::vector<uint8_t> ReadInput(const std::string& path);

// Throws FileError when path could not be replaced by a new file: an existing read-only file
// (refused even where permissions would allow it, as IM.txt always was) or a directory.
void CheckReplaceable(const std::string& path);

// Calls write with the name of a new file beside path, then renames it to path (to the file a
// symbolic link names, keeping the link). When write throws (FileError, or the file output's
// failure), the new file is removed and path is left as it was; the error is reported as a
// FileError naming path. An existing device or pipe is written to directly.
void WriteReplacing(const std::string& path, const std::function<void(const std::string&)>& write);

// WriteReplacing with these bytes.
void WriteBytesReplacing(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace cli
