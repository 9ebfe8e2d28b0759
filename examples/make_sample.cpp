// Writes the bundled sample database: make_sample [output path]
// (examples/sample.pdb by default, relative to the working folder).
#include <cstdio>
#include <string>

#include "sample_database.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "examples/sample.pdb";
  const qv::Bytes bytes = qv::examples::BuildSampleDatabase();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    std::perror(path.c_str());
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(path.c_str());
    return 1;
  }
  std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
  return 0;
}
