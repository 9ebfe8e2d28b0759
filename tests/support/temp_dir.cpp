#include "support/temp_dir.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qv::testing {

TempDir::TempDir() {
  std::string pattern = "/tmp/qv-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) {
    root_ = pattern;
  } else {
    // Without a folder every path points nowhere useful; tests then fail on
    // their first file operation instead of writing into the current folder.
    std::perror("mkdtemp");
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
