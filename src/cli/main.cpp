// The program's entry point: hands the command line to the application.
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/app.h"

// Runs the application with the arguments as given; returns its exit status.
int main(int argc, char** argv) {
#if defined(_WIN32)
  // Standard output carries the same bytes as everywhere else: LF line
  // ends, no CR added by the C library's text mode.
  (void)_setmode(_fileno(stdout), _O_BINARY);
#endif
  std::vector<std::string> args(argv, argv + argc);
  return qv::RunApp(args);
}
