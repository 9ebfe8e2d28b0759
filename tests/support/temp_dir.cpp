#include "support/temp_dir.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace qv::testing {

#if defined(_WIN32)
// A new folder with an unused random name in the user's temporary folder, or
// nothing when none could be made.
static std::string MakeTempFolder() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return {};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "qv-test-%08x", static_cast<unsigned>(random()));
    const std::filesystem::path folder = base / name;
    if (std::filesystem::create_directory(folder, error)) return folder.generic_string();
  }
  return {};
}
#else
// A new private folder under /tmp, or nothing when none could be made.
static std::string MakeTempFolder() {
  std::string pattern = "/tmp/qv-test-XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}
#endif

TempDir::TempDir() : root_(MakeTempFolder()) {
  if (root_.empty()) {
    // Without a folder every path points nowhere useful; tests then fail on
    // their first file operation instead of writing into the current folder.
    std::perror("temporary folder");
    root_ = "/nonexistent-qv-test-folder";
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::path(std::string_view name) const {
  if (name.empty()) return root_;
  std::string out = root_;
  out += '/';
  out += name;
  return out;
}

bool TempDir::Write(std::string_view name, std::string_view contents) const {
  std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  return !out.fail();
}

bool TempDir::Write(std::string_view name, ByteView contents) const {
  return Write(name, AsText(contents));
}

std::string TempDir::Read(std::string_view name) const {
  std::ifstream in(path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes TempDir::ReadBytes(std::string_view name) const {
  const std::string text = Read(name);
  return Bytes(text.begin(), text.end());
}

bool TempDir::Exists(std::string_view name) const {
  return access(path(name).c_str(), F_OK) == 0;
}

}  // namespace qv::testing
