#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace klv::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/klv_test_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Make read-only leftovers removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string full = File(name);
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + full);
  return full;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + File(name));
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

ScopedEnv::ScopedEnv(std::string name, const char* value) : name_(std::move(name)) {
  const char* old = std::getenv(name_.c_str());
  had_value_ = old != nullptr;
  if (had_value_) old_value_ = old;
  if (value) {
    ::setenv(name_.c_str(), value, 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_value_) {
    ::setenv(name_.c_str(), old_value_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

static std::string FromEnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string BinaryDir() {
  return FromEnvOr("KLV_BINARY_DIR", KLV_DEFAULT_BINARY_DIR);
}
std::string SourceDir() {
  return FromEnvOr("KLV_SOURCE_DIR", KLV_DEFAULT_SOURCE_DIR);
}

}  // namespace klv::testing
