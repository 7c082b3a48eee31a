// Exceptions of the zip reader, with the texts of its string table.
#pragma once

#include <stdexcept>
#include <string>

namespace klv::zip {

// Texts of the reader's string table, used exactly.
inline constexpr char kTextIncompleteZip[] = "Incomplete Zip File";
inline constexpr char kTextNotAZipFile[] = "Not a valid zip file!";
inline constexpr char kTextUserAborted[] = "User Aborted Operation";
inline constexpr char kTextPrematureEnd[] = "Premature end of file reached";
inline constexpr char kTextZlibError[] = "error";
inline constexpr char kTextOutputTooLarge[] = "File is larger than uncompressed size!";
inline constexpr char kTextCantWrite[] = "Cant write uncompressed file";
inline constexpr char kTextUnknownMethod[] = "Unknown Compression Method";
inline constexpr char kTextZipErrorCaption[] = "Zip Error";
inline constexpr int kMessageUnknownMethod = 197;

// The family of every failure the reader raises itself.
class EZipException : public std::runtime_error {
 public:
  explicit EZipException(const std::string& message) : std::runtime_error(message) {}
};

#define KLV_ZIP_EXCEPTION(Name, Text)                                     \
  class Name : public EZipException {                                     \
   public:                                                                \
    Name() : EZipException(Text) {}                                       \
    explicit Name(const std::string& message) : EZipException(message) {} \
  }

KLV_ZIP_EXCEPTION(EBadZipFile, kTextNotAZipFile);
KLV_ZIP_EXCEPTION(ENotAZipFile, kTextNotAZipFile);
KLV_ZIP_EXCEPTION(EIncompleteZip, kTextIncompleteZip);
KLV_ZIP_EXCEPTION(EUserCanceled, kTextUserAborted);
KLV_ZIP_EXCEPTION(EFatalUnzipError, kTextPrematureEnd);
KLV_ZIP_EXCEPTION(EZCompressionError, kTextZlibError);
KLV_ZIP_EXCEPTION(EOutputTooLarge, kTextOutputTooLarge);
KLV_ZIP_EXCEPTION(ECantWriteOutput, kTextCantWrite);

#undef KLV_ZIP_EXCEPTION

// Misuse of a list: an index outside the list, a duplicate key where duplicates raise, or
// replacing an item of a sorted list.
class EListError : public std::out_of_range {
 public:
  explicit EListError(const std::string& message) : std::out_of_range(message) {}
};

// Stream failures: an impossible seek, or putting a byte back without room.
class EStreamError : public std::runtime_error {
 public:
  explicit EStreamError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace klv::zip
