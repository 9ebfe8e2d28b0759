// The time new databases carry: the clock's, or SOURCE_DATE_EPOCH's.
#include "cli/database_time.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <optional>
#include <string>

#include "pdb/database.h"
#include "support/run_qv.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

// Sets (or, for nullptr, removes) a variable of this process's environment,
// which the programs it starts inherit.
void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  ASSERT_EQ(_putenv_s(name, value != nullptr ? value : ""), 0);
#else
  ASSERT_EQ(value != nullptr ? setenv(name, value, 1) : unsetenv(name), 0);
#endif
}

TEST(DatabaseTime, SourceDateEpochOrTheClock) {
  struct Case {
    const char* variable;
    int64_t now;
    std::optional<uint32_t> time;
  };
  const Case cases[] = {
      {nullptr, 0, 2082844800u},                 // 1970-01-01 since 1904
      {"", 1714521600, 3797366400u},             // empty: the clock
      {nullptr, 1714521600, 3797366400u},        // 2024-05-01
      {nullptr, 2212122496, 0u},                 // past 2040 the clock wraps
      {"0", 1714521600, 2082844800u},
      {"1714521600", 0, 3797366400u},
      {"2212122495", 0, 0xFFFFFFFFu},            // the last second a header holds
      {"2212122496", 0, std::nullopt},
      {"99999999999", 0, std::nullopt},
      {"-1", 0, std::nullopt},
      {" 5", 0, std::nullopt},
      {"5s", 0, std::nullopt},
      {"1.5", 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const Result<uint32_t> time = NewDatabaseTime(c.variable, c.now);
    EXPECT_EQ(time ? std::optional<uint32_t>(*time) : std::nullopt, c.time)
        << (c.variable ? c.variable : "-");
    EXPECT_TRUE(time || !time.message().empty());
  }
}

uint32_t CreationTime(const Bytes& db) {
  const Result<DatabaseHeader> header = ReadDatabaseHeader(db);
  EXPECT_TRUE(header);
  if (!header) return 0;
  EXPECT_EQ(header->modificationTime, header->creationTime);
  EXPECT_EQ(header->backupTime, 0u);
  return header->creationTime;
}

TEST(DatabaseTime, ImportDatesTheNewDatabase) {
  testing::TempDir dir;
  ASSERT_TRUE(dir.Write("in.csv", "a,b\n"));
  const auto import = [&](const std::string& output) {
    return testing::RunQv(
        QV_BINARY, {"COMMAND:TOPDB", "INFILE:{in.csv}", "OUTFILE:{" + output + "}", "DBNAME:{T}"},
        dir.path());
  };

  const int64_t before = std::time(nullptr);
  ASSERT_EQ(import("now.pdb").exitStatus, 0);
  const int64_t after = std::time(nullptr);
  const int64_t created = CreationTime(dir.ReadBytes("now.pdb")) - kUnixEpochSince1904;
  EXPECT_GE(created, before);
  EXPECT_LE(created, after);

  SetVariable("SOURCE_DATE_EPOCH", "1714521600");
  const testing::RunResult fixed = import("fixed.pdb");
  SetVariable("SOURCE_DATE_EPOCH", "yesterday");
  const testing::RunResult refused = import("refused.pdb");
  SetVariable("SOURCE_DATE_EPOCH", nullptr);
  ASSERT_EQ(fixed.exitStatus, 0) << fixed.output;
  EXPECT_EQ(CreationTime(dir.ReadBytes("fixed.pdb")), 3797366400u);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.output.find("SOURCE_DATE_EPOCH must be a whole number of seconds"),
            std::string::npos)
      << refused.output;
  EXPECT_FALSE(dir.Exists("refused.pdb"));
}

}  // namespace
}  // namespace qv
