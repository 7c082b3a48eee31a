// File and folder services. Paths are native paths (on POSIX: "/" separators).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace klv::platform {

// The native folder separator, and the form of a folder as the program holds it: with a
// trailing separator.
extern const char kPathSeparator;
std::string IncludeTrailingSeparator(std::string folder);

// Turns a name in Windows form (as the update server gives it) into a native path:
// every "\" becomes "/" on POSIX.
std::string ToNativePath(std::string_view windows_form);

bool FileExists(const std::string& path);  // a file; a folder does not count
bool DirectoryExists(const std::string& path);
// A plain file: not a folder, pipe, socket or device (reading those could block for ever).
bool IsRegularFile(const std::string& path);
// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);  // false on failure, never throws
// Plain move within a folder; fails when `to` exists or `from` is missing.
bool RenameFile(const std::string& from, const std::string& to);

// Read-only attribute. On POSIX a file is read-only when its owner lacks write permission.
// nullopt when the attributes cannot be read.
std::optional<bool> IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool read_only);

// Whole-file reads and writes; failures raise OsError.
std::string ReadWholeFile(const std::string& path);
// Writes `data` to a temporary file in the same folder and renames it over `path`, so a
// reader sees either the old or the new content, never a half-written file. The new file
// takes the permission bits and owner of `attributes_from` (default: `path` itself) when
// that file exists. Failures raise OsError and leave `path` as it was.
void ReplaceFileContent(const std::string& path, std::string_view data,
                        const std::string& attributes_from = {});

// True when the file can be opened for writing now, or does not exist. False for a file
// that refuses it, such as a running program (ETXTBSY) or one without write permission.
bool CanOpenForWriting(const std::string& path);

}  // namespace klv::platform
