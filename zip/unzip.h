// TUnZip: the zip component. It names an archive, loads (or repairs) its directory and
// extracts entries into a caller's stream, verifying each entry's CRC-32.
//
// Typical use (the apply phase): set ZipName, DoAll = true, RecreateDirs = false,
// OverwriteMode = Always and the event handlers; ReadDirectory(); when EntryCount() is 1,
// ExtractToStream(&memory, 0) answers 1 exactly when the entry was extracted and verified.
//
// Stored (0), shrunk (1), reduced (2-5), imploded (6) and deflated (8) entries are decoded;
// any other method takes the unknown-method path (a message through the host, the entry
// then fails unless its stored CRC is 0). Encrypted entries are skipped. Everything runs on
// the caller's thread; long loops call ZipHost::ProcessMessages and honour Cancel() and
// SetPaused().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/buffer_stream.h"
#include "zip/end_of_central.h"
#include "zip/entry_list.h"
#include "zip/zip_entry.h"
#include "zip/zip_errors.h"
#include "zip/zip_host.h"

namespace klv::zip {

enum class TOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum class TIncompleteZipMode { AssumeMulti, AssumeBad, AssumeNotAZip };
// Why an entry was skipped: no password for an encrypted entry, or a size or offset field
// that holds the zip64 marker without a zip64 value behind it.
enum class TSkipReason { BadPassword, MissingZip64Value };

class TUnZip {
 public:
  // `host` is not owned; nullptr uses DefaultZipHost().
  explicit TUnZip(ZipHost* host = nullptr);
  ~TUnZip();
  TUnZip(const TUnZip&) = delete;
  TUnZip& operator=(const TUnZip&) = delete;

  // The archive's path. Setting a path that differs (ignoring ASCII case) forgets the loaded
  // directory; nothing is read until ReadDirectory.
  const std::string& ZipName() const { return zip_name_; }
  void SetZipName(const std::string& path);

  // Settings (defaults as the component's).
  TZipSortMode SortMode = TZipSortMode::ByNone;
  bool RecreateDirs = false;
  TOverwriteMode OverwriteMode = TOverwriteMode::Prompt;
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::AssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool FlushFilesOnClose = false;
  TOemConvert OEMConvert = TOemConvert::OemFlexible;
  std::vector<std::string> FilesList;  // cleared by every extraction

  // Events; each fires only when assigned. FileIndex values are positions in the index space.
  std::function<void(int32_t num_files, int64_t total_bytes, bool& stop_now)> OnStartUnZipInfo;
  std::function<void(int file_index, std::string& fname, bool& skip)> OnStartUnZip;
  std::function<void(int file_index, const std::string& fname)> OnEndUnZip;
  std::function<void(int percent)> OnFilePercentDone;
  std::function<void(int percent)> OnTotalPercentDone;
  std::function<void(uint32_t calc_crc, uint32_t stored_crc, int file_index)> OnBadCRC;
  std::function<void(int file_index, std::string& new_password)> OnBadPassword;
  std::function<void(TSkipReason reason, const std::string& fname, int file_index, bool& retry)>
      OnSkippingFile;
  std::function<void(int32_t file_count)> OnUnZipComplete;
  // Replaces the host's message box: (message id, text, caption, flags, answer).
  std::function<void(int message_id, const std::string& msg1, const std::string& msg2,
                     unsigned flags, int& answer)>
      OnHandleMessage;
  // Asked when the end record is missing; ReadDirectory tries again for as long as the
  // handler leaves the mode at AssumeMulti (it is meant to bring in the next volume).
  std::function<void(TIncompleteZipMode& mode)> OnIncompleteZip;

  // Opens the archive and makes sure its directory is loaded and current (reloaded only when
  // the file's modification time changed). No end record: without OnIncompleteZip this returns
  // normally with no directory (EntryCount() 0). Other failures clear the archive (ZipName
  // too) and propagate: EBadZipFile, ENotAZipFile, EUserCanceled, platform::OsError.
  void ReadDirectory();
  // Entries of the loaded directory; 0 when none is loaded.
  int EntryCount() const;
  // True while a directory is loaded (an archive without end record has none).
  bool HasDirectory() const { return entry_list_ != nullptr; }
  // The entry at `index` of the index space; EListError outside it.
  const TZipEntryInfo& Entry(int index) const;
  const TEndOfCentral& EndRecord() const { return end_record_; }
  // True after the directory was rebuilt from local headers.
  bool ImproperZip() const { return improper_zip_; }

  // Extracts entry `index` (and, with DoAll, every other entry) into `stream` from position 0,
  // and answers how many entries were extracted and verified; 0 at once for a null stream.
  // An empty stream is first sized to the entry's declared size when the entry's compressed
  // data can plausibly produce that much. Raises EListError for a bad index,
  // EFatalUnzipError, EZCompressionError, ECantWriteOutput, EUserCanceled.
  int32_t ExtractToStream(TStream* stream, int index);

  // Requests polled in long loops: cancel raises EUserCanceled there; pause waits.
  void Cancel() { cancel_requested_ = true; }
  void SetPaused(bool paused) { pause_requested_ = paused; }

 private:
  class Extraction;

  void Pump();
  void OpenArchive();
  void CloseArchive();
  void ClearArchive();
  void FreeEntries();
  void LoadDirectory();
  bool RepairDirectory();
  void SortEntries(TZipSortMode mode);
  void SetEntrySelected(int index, bool value);
  int32_t ExtractMarked(TStream& archive);
  int ShowZipMessage(int message_id, const std::string& msg1, unsigned flags,
                     const std::string& msg2);

  ZipHost& host_;
  std::string zip_name_;
  std::unique_ptr<TBufferedFileStream> archive_stream_;
  std::unique_ptr<TZipEntryList> entry_list_;   // owns the entries, archive order
  std::unique_ptr<TZipEntryList> sorted_list_;  // a second, non-owning view for other modes
  TZipEntryList* sorted_view_ = nullptr;        // the index space: one of the two
  TEndOfCentral end_record_;
  int64_t directory_stamp_ = 0;  // the file's modification time in ns when loaded; 0 = none
  bool archive_is_bad_ = false;
  bool improper_zip_ = false;
  uint32_t current_disk_ = 0;
  uint32_t num_disks_ = 1;
  int multi_mode_ = 0;  // 0 single volume, 1 removable disks, 2 numbered block files
  bool busy_ = false;
  int operation_mode_ = 0;
  bool cancel_requested_ = false;
  bool pause_requested_ = false;
  bool test_mode_ = false;
  std::string password_;

  // Extraction state of one ExtractToStream call.
  bool stream_mode_ = false;
  bool selected_only_ = false;
  TStream* output_stream_ = nullptr;
};

}  // namespace klv::zip
