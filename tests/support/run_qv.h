// Runs the built program as a child process, the way a shell user would,
// for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

struct RunResult {
  int exitStatus = -1;  // the exit status, or 128 + signal number when killed
  std::string output;   // everything written to standard output
  std::string errors;   // everything written to standard error
};

// Runs `binary` with `args` (after the program name) in `workdir` (the
// current folder when empty), standard input from /dev/null. The program
// name passed is "qv", so the folder the binary was built in can never match
// a keyword. A child that runs longer than a minute is killed.
//
// With `asNobody`, a child started by root runs as the unprivileged user
// 65534, so that permission faults can be tested where the tests run as
// root; such a child that cannot switch user exits with status 125.
//
// With `input`, standard input is that file instead of /dev/null.
RunResult RunQv(const std::string& binary, const std::vector<std::string>& args,
                const std::string& workdir, bool asNobody = false,
                const std::string& input = "/dev/null");

}  // namespace qv::testing
