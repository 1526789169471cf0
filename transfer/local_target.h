#pragma once
// The one place that decides whether a name from the server may become part
// of a local path, and builds that path. Every producer of local targets (the
// download dialog, drops onto the local list, folder walks, history and task
// runs) goes through it, so nothing is ever written outside the chosen folder.
#include <optional>
#include <string>

namespace transfer {

// The platform's separator of local paths.
#ifdef _WIN32
inline constexpr char kLocalSeparator = '\\';
#else
inline constexpr char kLocalSeparator = '/';
#endif

// False for "", ".", "..", and names holding "/", "\" or a NUL byte (on
// Windows also ":", and names made only of dots and blanks, which Windows
// resolves to the folder itself or its parent).
bool IsSafeLocalName(const std::string& name);

// `folder` joined with `name` by the native separator (never doubled); empty
// when the name is refused.
std::optional<std::string> LocalTarget(const std::string& folder, const std::string& name);

// The kind-2 log line of a refused name.
std::string RefusedNameLine(const std::string& name);

// Folder part of a local path including its final separator ("" when none).
std::string LocalFolderPart(const std::string& path);
// Last part of a local path (after the last separator; a trailing one is ignored).
std::string LocalLastPart(const std::string& path);
// `folder` with a final separator (an empty folder stays empty).
std::string WithSeparator(const std::string& folder);

// Makes sure the local folder `path` (UTF-8) exists, creating every missing
// level; existing levels are left alone and nothing is removed on failure.
// True for an empty path. False when a level cannot be created, a file
// stands where a level should be, or the path is malformed: an empty level
// (two separators in a row) or a relative path, which would land wherever the
// program happens to run.
bool CreateFolderPath(const std::string& path);

// The extension of a name with its leading dot ("a.tar.gz" -> ".gz"), or empty.
std::string ExtensionOf(const std::string& name);

}  // namespace transfer
