// A private temporary folder for one test (under /tmp on POSIX systems),
// removed with everything in it when the object goes out of scope.
#pragma once

#include <string>
#include <string_view>

#include "pdb/byte_io.h"

namespace qv::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder itself, or `name` inside it.
  std::string path(std::string_view name = {}) const;

  // Creates or replaces `name` with exactly these bytes; false on failure.
  bool Write(std::string_view name, std::string_view contents) const;
  bool Write(std::string_view name, ByteView contents) const;

  // The whole file as text (empty when it cannot be read) or as bytes.
  std::string Read(std::string_view name) const;
  Bytes ReadBytes(std::string_view name) const;

  bool Exists(std::string_view name) const;

 private:
  std::string root_;
};

}  // namespace qv::testing
