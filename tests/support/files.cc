// Test helpers for files: a temporary directory and whole-file reads and writes.
#include "tests/support/files.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// Without write and search rights on a directory its entries cannot be removed.
void OpenUp(const fs::path& dir) {
  std::error_code ec;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    if (e.is_directory(ec) && !e.is_symlink(ec)) OpenUp(e.path());
  }
}

}  // namespace

TempDir::TempDir(Cwd cwd) {
  std::string tmpl = (fs::temp_directory_path() / "ledwheel-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
  if (cwd == Cwd::kEnter) {
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!previous_.empty()) fs::current_path(previous_, ec);
  OpenUp(path_);
  fs::remove_all(path_, ec);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

}  // namespace testing_support
