// The program's entry point: hands the command line to the application.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/platform.h"

// Runs the application with the arguments as given; returns its exit status.
int main(int argc, char** argv) {
  qv::PrepareStandardStreams();
  return qv::RunApp(qv::CommandLineArguments(argc, argv));
}
