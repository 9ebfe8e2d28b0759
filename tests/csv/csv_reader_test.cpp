#include "csv/csv_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/csv_fields.h"

namespace qv {
namespace {

using Fields = std::vector<std::string>;

// The fields of every line of `text`, with Q standing for a double quote.
std::vector<Fields> Read(std::string text) {
  for (char& c : text) {
    if (c == 'Q') c = '"';
  }
  std::vector<Fields> out;
  const CsvTable table = ReadCsvTable(text, ',');
  EXPECT_TRUE(table.complete());
  for (size_t i = 0; i < table.lineCount(); ++i) out.push_back(testing::LineFields(table, i));
  return out;
}

Fields OneLine(const std::string& text) {
  const std::vector<Fields> lines = Read(text);
  EXPECT_EQ(lines.size(), 1u) << text;
  return lines.empty() ? Fields{} : lines[0];
}

TEST(CsvReader, SeparatorsAndEmptyFields) {
  EXPECT_EQ(OneLine("a,b\n"), (Fields{"a", "b"}));
  EXPECT_EQ(OneLine("a,b,\n"), (Fields{"a", "b", ""}));
  EXPECT_EQ(OneLine("a,,b\n"), (Fields{"a", "", "b"}));
  // A separator at the start of a line completes one empty field and the
  // line end after it adds none; after a value it starts a second field.
  EXPECT_EQ(OneLine(",\n"), (Fields{""}));
  EXPECT_EQ(OneLine(",,\n"), (Fields{"", ""}));
  EXPECT_EQ(OneLine("a,\n"), (Fields{"a", ""}));
  EXPECT_EQ(OneLine("a,"), (Fields{"a", ""}));
  EXPECT_EQ(OneLine("QaQ,\n"), (Fields{"a"}));
  EXPECT_EQ(OneLine("\n"), Fields{});
}

TEST(CsvReader, Quotes) {
  EXPECT_EQ(OneLine("a,Qb,cQ,d\n"), (Fields{"a", "b,c", "d"}));
  EXPECT_EQ(OneLine("QHe said QQhiQQQ\n"), (Fields{"He said \"hi\""}));
  EXPECT_EQ(OneLine("abQQc\n"), (Fields{"ab\"c"}));
  EXPECT_EQ(OneLine("abQ,c\n"), (Fields{"ab", "c"}));
  // A quote in the middle of a field opens quoting there.
  EXPECT_EQ(OneLine("abQc,dQe\n"), (Fields{"abc,d", "e"}));
  // A closing quote followed by text ends the field without a separator.
  EXPECT_EQ(OneLine("QabcQx\n"), (Fields{"abc", "x"}));
  EXPECT_EQ(OneLine("QQ\n"), (Fields{""}));
  EXPECT_EQ(OneLine("QQ,QQ\n"), (Fields{"", ""}));
  EXPECT_EQ(OneLine("a,QbQ\n"), (Fields{"a", "b"}));
  // A trailing quote at the end of input, in and out of quotes.
  EXPECT_EQ(OneLine("abQ"), (Fields{"ab"}));
  EXPECT_EQ(OneLine("QabQ"), (Fields{"ab"}));
}

TEST(CsvReader, LineBreaksInsideQuotes) {
  EXPECT_EQ(Read("Qa\r\nbQ,c\nd\n"), (std::vector<Fields>{{"a\r\nb", "c"}, {"d"}}));
  EXPECT_EQ(OneLine("Qa\nb\rcQ\n"), (Fields{"a\nb\rc"}));
  // A NUL is a line end: inside quotes it is kept as a CR.
  EXPECT_EQ(OneLine(std::string("Qa\0bQ\n", 6)), (Fields{"a\rb"}));
  EXPECT_EQ(Read(std::string("a\0b", 3)), (std::vector<Fields>{{"a"}, {"b"}}));
  // NUL pairs with a following LF, but a NUL after a line end is a new line.
  EXPECT_EQ(Read(std::string("a\0\nb", 4)), (std::vector<Fields>{{"a"}, {"b"}}));
  EXPECT_EQ(Read(std::string("a\n\0b", 4)), (std::vector<Fields>{{"a"}, {}, {"b"}}));
}

TEST(CsvReader, LineEndPairing) {
  EXPECT_EQ(Read("a\n\nb\n"), (std::vector<Fields>{{"a"}, {"b"}}));
  EXPECT_EQ(Read("a\r\n\r\nb\r\n"), (std::vector<Fields>{{"a"}, {}, {"b"}}));
  EXPECT_EQ(Read("a\n\n\nb"), (std::vector<Fields>{{"a"}, {}, {"b"}}));
  EXPECT_EQ(Read("a\n\rb"), (std::vector<Fields>{{"a"}, {"b"}}));
  EXPECT_EQ(Read("a\rb\r"), (std::vector<Fields>{{"a"}, {"b"}}));
  // The empty line at the end of CR LF CR LF is a line; LF LF is one end.
  EXPECT_EQ(Read("x\r\n\r\n"), (std::vector<Fields>{{"x"}, {}}));
  EXPECT_EQ(Read("x\n\n"), (std::vector<Fields>{{"x"}}));
  // A closing quote followed by the line end.
  EXPECT_EQ(Read("QaQ\r\nb"), (std::vector<Fields>{{"a"}, {"b"}}));
}

TEST(CsvReader, EndOfInput) {
  EXPECT_TRUE(Read("").empty());
  EXPECT_EQ(Read("x,y"), (std::vector<Fields>{{"x", "y"}}));
  // An unterminated quote takes the rest of the text into one field.
  EXPECT_EQ(Read("a,Qb\nc,d\n"), (std::vector<Fields>{{"a", "b\nc,d\n"}}));
  EXPECT_EQ(Read("Q"), (std::vector<Fields>{{""}}));
}

TEST(CsvReader, LineByLineAndPadding) {
  const std::string text = "a,b\r\nc\n";
  CsvReader reader(text, ',');
  CsvLine line;
  ASSERT_TRUE(reader.ReadCsvLine(line));
  EXPECT_EQ(reader.position(), 5u);
  EXPECT_EQ(line.fieldCount(), 2);
  EXPECT_EQ(line.Field(1), "b");
  EXPECT_EQ(line.Field(2), "");
  EXPECT_EQ(line.Field(29), "");
  ASSERT_TRUE(reader.ReadCsvLine(line));
  EXPECT_EQ(line.fieldCount(), 1);
  EXPECT_EQ(reader.position(), text.size());
  EXPECT_FALSE(reader.ReadCsvLine(line));
  EXPECT_EQ(line.fieldCount(), 0);
}

TEST(CsvReader, LongRunsAndBinaryBytes) {
  std::string big(100000, 'x');
  std::string text = big + ",\"" + big + "\"\"" + big + "\"\n";
  const std::vector<Fields> lines = Read(text);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 2u);
  EXPECT_EQ(lines[0][0], big);
  EXPECT_EQ(lines[0][1], big + "\"" + big);

  // Every byte value in every position: must read without fault and
  // consume the whole text.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (size_t start = 0; start < all.size(); start += 7) {
    const std::string rotated = all.substr(start) + all.substr(0, start);
    CsvReader reader(rotated, ',');
    CsvLine line;
    size_t last = 0;
    while (reader.ReadCsvLine(line)) {
      EXPECT_GT(reader.position(), last);
      last = reader.position();
    }
    EXPECT_EQ(last, rotated.size());
  }
}

// MayHoldCr lets the import skip searching fields for CR, so it must never
// say no for a field that holds one, whatever the quoting around it.
TEST(CsvReader, MayHoldCrNeverMissesACr) {
  const char alphabet[] = {'a', ',', '"', '\r', '\n', '\0'};
  uint64_t state = 7;
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int i = 0; i < 24; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      text.push_back(alphabet[(state >> 33) % sizeof alphabet]);
    }
    const CsvTable table = ReadCsvTable(text, ',');
    for (size_t line = 0; line < table.lineCount(); ++line) {
      for (size_t k = 0; k < static_cast<size_t>(table.fieldCount(line)); ++k) {
        if (table.Field(line, k).find('\r') != std::string_view::npos) {
          ASSERT_TRUE(table.MayHoldCr(line, k)) << ::testing::PrintToString(text);
        }
      }
    }
  }
  // Plain unquoted fields are known to hold none, and so are quoted ones
  // when no CR was read inside quotes; a field replaced with one may.
  CsvTable plain = ReadCsvTable("ab,\"c\nd\"\r\n", ',');
  EXPECT_FALSE(plain.MayHoldCr(0, 0));
  EXPECT_FALSE(plain.MayHoldCr(0, 1));
  ASSERT_TRUE(plain.ReplaceField(0, 0, "x\ry"));
  EXPECT_TRUE(plain.MayHoldCr(0, 0));
}

// Quotes out of place are noted where they stand; the fields are the
// same bytes as ever.
TEST(CsvReader, QuoteIssues) {
  const struct {
    const char* text;  // Q stands for a double quote
    std::vector<Fields> lines;
    std::vector<std::string> issues;  // kind line:field @offset
  } rows[] = {
      {"a,QbQ\nQc,dQ\r\nQeQQfQ", {{"a", "b"}, {"c,d"}, {"e\"f"}}, {}},
      {"abQQc,d\n", {{"ab\"c", "d"}}, {}},
      {"12Q pizzaQ,x\n", {{"12 pizza", "x"}}, {"opens 0:0 @2"}},
      {"12Q pizza,x\ny,z\n", {{"12 pizza,x\ny,z\n"}}, {"opens 0:0 @2", "unterminated 0:0 @2"}},
      {"a,12Q\nb\n", {{"a", "12\nb\n"}}, {"opens 0:1 @4", "unterminated 0:1 @4"}},
      {"abQ", {{"ab"}}, {"opens 0:0 @2", "unterminated 0:0 @2"}},
      {"a,12Q,b\n", {{"a", "12", "b"}}, {"dropped 0:1 @4"}},
      {"a,QbQc,d\n", {{"a", "b", "c", "d"}}, {"after 0:1 @5"}},
      {"QaQ ,b\n", {{"a", " ", "b"}}, {"after 0:0 @3"}},
      {"a\nb,Qc\nd\n", {{"a"}, {"b", "c\nd\n"}}, {"unterminated 1:1 @4"}},
      {"Q", {{""}}, {"unterminated 0:0 @0"}},
      {"x\na,Q", {{"x"}, {"a", ""}}, {"unterminated 1:1 @4"}},
      {"QQQ,a\n", {{"\",a\n"}}, {"unterminated 0:0 @0"}},
  };
  for (const auto& row : rows) {
    std::string text = row.text;
    for (char& c : text) {
      if (c == 'Q') c = '"';
    }
    EXPECT_EQ(Read(text), row.lines) << text;
    const CsvTable table = ReadCsvTable(text, ',');
    std::vector<std::string> issues;
    for (const CsvQuoteIssue& issue : table.quoteIssues()) {
      static const char* const kNames[] = {"unterminated", "opens", "dropped", "after"};
      issues.push_back(std::string(kNames[static_cast<int>(issue.kind)]) + " " +
                       std::to_string(issue.line) + ":" + std::to_string(issue.field) + " @" +
                       std::to_string(issue.offset));
    }
    EXPECT_EQ(issues, row.issues) << text;
  }
}

// Whatever the text, an issue names a field the table holds and a byte of
// the text at or right after a quote.
TEST(CsvReader, QuoteIssuesNameRealFields) {
  const char alphabet[] = {'a', ',', '"', '\r', '\n', '\0'};
  uint64_t state = 11;
  size_t seen = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int i = 0; i < 24; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      text.push_back(alphabet[(state >> 33) % sizeof alphabet]);
    }
    const CsvTable table = ReadCsvTable(text, ',');
    for (const CsvQuoteIssue& issue : table.quoteIssues()) {
      ++seen;
      ASSERT_LT(issue.line, table.lineCount()) << ::testing::PrintToString(text);
      ASSERT_LT(issue.field, static_cast<uint32_t>(table.fieldCount(issue.line)));
      ASSERT_LT(issue.offset, text.size());
      const bool after = issue.kind == CsvQuoteIssue::Kind::kTextAfterClosingQuote;
      const size_t quote = after ? issue.offset - 1 : issue.offset;
      ASSERT_EQ(text[quote], '"') << ::testing::PrintToString(text);
    }
  }
  EXPECT_GT(seen, 1000u);
}

}  // namespace
}  // namespace qv
