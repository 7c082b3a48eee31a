// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace klv::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, with a trailing "/".
  const std::string& path() const { return path_; }
  // path() + name.
  std::string File(const std::string& name) const { return path_ + name; }
  // Writes `content` to path() + name and answers the full path.
  std::string Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const char* value);  // nullptr removes the variable
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_value_;
  std::string old_value_;
};

// Folders of the build: the binary tree (tools and programs) and the source tree.
std::string BinaryDir();
std::string SourceDir();

}  // namespace klv::testing
