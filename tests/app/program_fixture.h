// Helpers for tests that run several copies of the real updater at once.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/run_program.h"

namespace klv::testing {

// A program started without waiting for it; killed and reaped if still running when the
// object goes. Standard output and error go to `output_prefix` + ".out" and ".err".
class ChildProgram {
 public:
  ChildProgram(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::optional<std::string>>& env,
               std::string output_prefix);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  pid_t pid() const { return pid_; }
  // A descriptor that becomes readable when the program has ended.
  int end_fd() const { return pidfd_; }
  // Waits up to `timeout_ms` for the end: the exit code, -1 when a signal ended it, nullopt
  // when it still runs.
  std::optional<int> WaitExit(int timeout_ms);
  void Kill(int signal);
  std::string StandardOutput() const;
  std::string StandardError() const;

 private:
  pid_t pid_ = -1;
  int pidfd_ = -1;
  std::optional<int> exit_code_;
  std::string output_prefix_;
};

// A file that holds the program reading it: a FIFO stands in its place, so the reader blocks
// in its open until the test releases it.
class HeldFile {
 public:
  explicit HeldFile(std::string path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Waits up to `timeout_ms` until a reader has the file open; from then on the reader is
  // held until Release.
  bool WaitForReader(int timeout_ms);
  // Puts a regular file with `content` in the FIFO's place (for later readers) and hands the
  // held reader the same content.
  void Release(const std::string& content);

 private:
  std::string path_;
  int writer_ = -1;
};

}  // namespace klv::testing
