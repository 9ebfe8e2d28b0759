// The bundled sample: the committed files are what the generator and the
// export make of it today.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "convert/export_core.h"

#ifdef QV_HAVE_SAMPLE
#include "sample_database.h"

namespace qv {
namespace {

std::string ReadSourceFile(const std::string& name) {
  std::ifstream in(std::string(QV_SOURCE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ExportSample, CommittedFilesMatchGeneratorAndExport) {
  const Bytes database = examples::BuildSampleDatabase();
  const std::string committed = ReadSourceFile("examples/sample.pdb");
  ASSERT_FALSE(committed.empty());
  EXPECT_EQ(AsText(database), committed) << "regenerate examples/sample.pdb (examples/README.md)";

  ConversionOptions options;
  options.fieldNames = true;
  Console console;
  const ExportResult result = ExportToCsvText(database, options, console);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(console.text(), "");
  EXPECT_EQ(result.csv, ReadSourceFile("examples/sample.csv"))
      << "regenerate examples/sample.csv (examples/README.md)";
}

}  // namespace
}  // namespace qv
#endif
