#include <string>
#include <vector>

#include "cli/app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return qv::RunApp(args);
}
