// Test helpers for files: a temporary directory and whole-file reads and writes.
#include "tests/support/files.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// Without write and search rights on a directory its entries cannot be removed, and some
// systems refuse to remove a read-only file.
void OpenUp(const fs::path& dir) {
  std::error_code ec;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    if (e.is_symlink(ec)) continue;
    if (e.is_directory(ec)) {
      OpenUp(e.path());
    } else {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
  }
}

}  // namespace

TempDir::TempDir(Cwd cwd) {
  // create_directory fails on a name that exists, so a made directory is ours alone.
  std::random_device seed;
  std::mt19937_64 random(uint64_t(seed()) << 32 ^ seed());
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; path_.empty(); ++attempt) {
    if (attempt == 100) throw std::runtime_error("no temporary directory could be made");
    char name[32];
    std::snprintf(name, sizeof name, "ledwheel-test-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::error_code ec;
    if (fs::create_directory(base / name, ec)) path_ = (base / name).string();
  }
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
