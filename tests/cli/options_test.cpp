#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "qv");
  return ParseCommandLine(args);
}

TEST(ParseCommandLine, DefaultsWithoutArguments) {
  const ParsedCommandLine parsed = Parse({});
  EXPECT_EQ(parsed.command, Command::kNone);
  EXPECT_FALSE(parsed.showUsage);
  EXPECT_TRUE(parsed.refusal.empty());
  const ConversionOptions& o = parsed.options;
  EXPECT_EQ(o.separator, ',');
  EXPECT_EQ(o.dateFormat, 0);
  EXPECT_EQ(o.timeFormat, 0);
  EXPECT_FALSE(o.useExisting || o.placeQuotes || o.fieldNames || o.overwrite || o.extraDiag);
  EXPECT_TRUE(o.csvFile.empty() && o.pdbFile.empty() && o.popupFile.empty() &&
              o.existingFile.empty() && o.givenPassword.empty() && o.databaseName.empty());
}

TEST(ParseCommandLine, KeywordsMatchAnywhereIgnoringCase) {
  EXPECT_EQ(Parse({"command:tocsv"}).command, Command::kToCsv);
  EXPECT_EQ(Parse({"xCOMMAND:TOPDBx"}).command, Command::kToPdb);
  EXPECT_EQ(Parse({"COMMAND:TOCSV", "Command:ToPdb"}).command, Command::kToPdb);
  EXPECT_EQ(Parse({"COMMAND:TOPDB", "COMMAND:TOCSV"}).command, Command::kToCsv);
  EXPECT_EQ(Parse({"COMMAND:TOCSVX", "nothing", "COMMAND:"}).command, Command::kToCsv);

  const ConversionOptions flags =
      Parse({"-placequotes", "FieldNames", "extradiag", "overwrite=yes"}).options;
  EXPECT_TRUE(flags.placeQuotes);
  EXPECT_TRUE(flags.fieldNames);
  EXPECT_TRUE(flags.extraDiag);
  EXPECT_TRUE(flags.overwrite);

  // The program's own name is examined like any other argument.
  EXPECT_TRUE(ParseCommandLine({"/opt/overwrite/qv"}).options.overwrite);
}

TEST(ParseCommandLine, EarlierKeywordInTheTableWins) {
  const ParsedCommandLine password = Parse({"PASSWORD:{secret-OverWrite}"});
  EXPECT_TRUE(password.options.overwrite);
  EXPECT_TRUE(password.options.givenPassword.empty());

  const ParsedCommandLine file = Parse({"COMMAND:TOPDB", "INFILE:{placequotes.csv}"});
  EXPECT_TRUE(file.options.placeQuotes);
  EXPECT_TRUE(file.options.csvFile.empty());

  // A flag keyword takes the whole argument, so its value is not gathered
  // and the next argument is examined on its own.
  const ParsedCommandLine next = Parse({"DBNAME:{fieldnames}", "PASSWORD:{pw}"});
  EXPECT_TRUE(next.options.fieldNames);
  EXPECT_TRUE(next.options.databaseName.empty());
  EXPECT_EQ(next.options.givenPassword, "pw");
}

TEST(ParseCommandLine, FileOptionsFollowTheCommandSeenSoFar) {
  const ConversionOptions toCsv =
      Parse({"COMMAND:TOCSV", "INFILE:{a.pdb}", "OUTFILE:{b.csv}"}).options;
  EXPECT_EQ(toCsv.pdbFile, "a.pdb");
  EXPECT_EQ(toCsv.csvFile, "b.csv");

  const ConversionOptions toPdb =
      Parse({"COMMAND:TOPDB", "INFILE:{a.csv}", "OUTFILE:{b.pdb}"}).options;
  EXPECT_EQ(toPdb.csvFile, "a.csv");
  EXPECT_EQ(toPdb.pdbFile, "b.pdb");

  const ParsedCommandLine late = Parse({"INFILE:{a.pdb}", "OUTFILE:{b.csv}", "COMMAND:TOCSV"});
  EXPECT_EQ(late.command, Command::kToCsv);
  EXPECT_EQ(late.options.csvFile, "a.pdb");
  EXPECT_EQ(late.options.pdbFile, "b.csv");
}

TEST(ParseCommandLine, ValueOptions) {
  const ConversionOptions o = Parse({"COMMAND:TOPDB", "POPUPS:{p.csv}", "DBNAME:{My", "Names}",
                                     "PASSWORD:{pw}", "USEEXISTING:{old.pdb}"})
                                  .options;
  EXPECT_EQ(o.popupFile, "p.csv");
  EXPECT_EQ(o.databaseName, "My Names");
  EXPECT_EQ(o.givenPassword, "pw");
  EXPECT_TRUE(o.useExisting);
  EXPECT_EQ(o.existingFile, "old.pdb");

  // A repeated option replaces the earlier value; an empty value is kept.
  EXPECT_EQ(Parse({"DBNAME:{one}", "DBNAME:{two}"}).options.databaseName, "two");
  EXPECT_EQ(Parse({"INFILE:{a.csv}", "INFILE:{}"}).options.csvFile, "");
  const ConversionOptions bare = Parse({"USEEXISTING:{}"}).options;
  EXPECT_TRUE(bare.useExisting);
  EXPECT_TRUE(bare.existingFile.empty());
}

TEST(ParseCommandLine, FormatNumbersReadLikeAtoi) {
  auto date = [](const std::string& arg) { return Parse({arg}).options.dateFormat; };
  EXPECT_EQ(Parse({"TIMEFORMAT:{9}"}).options.timeFormat, 9);
  EXPECT_EQ(date("DATEFORMAT:{abc}"), 0);
  EXPECT_EQ(date("DATEFORMAT:{ 3x}"), 3);
  EXPECT_EQ(date("DATEFORMAT:{-2}"), -2);
  EXPECT_EQ(date("DATEFORMAT:{}"), 0);
  EXPECT_EQ(Parse({"DATEFORMAT:{", "4}"}).options.dateFormat, 4);
}

TEST(ParseCommandLine, BracesSpreadOverArguments) {
  EXPECT_EQ(Parse({"COMMAND:TOCSV", "INFILE:{my", "big", "file.pdb}"}).options.pdbFile,
            "my big file.pdb");
  EXPECT_EQ(Parse({"COMMAND:TOCSV", "INFILE:", "{x.pdb}"}).options.pdbFile, "x.pdb");
  EXPECT_EQ(Parse({"INFILE:}a{b}"}).options.csvFile, "b");
  EXPECT_EQ(Parse({"INFILE:pre{a.csv}post"}).options.csvFile, "a.csv");
  EXPECT_EQ(Parse({"INFILE:{a", "b}c", "OVERWRITE"}).options.csvFile, "a b");

  // A value without braces reaches into the next argument, which is then
  // not an option of its own.
  const ConversionOptions swallowed = Parse({"INFILE:x.csv", "OUTFILE:{y.pdb}"}).options;
  EXPECT_EQ(swallowed.csvFile, "y.pdb");
  EXPECT_TRUE(swallowed.pdbFile.empty());

  // Without any brace everything after is consumed and nothing is taken.
  const ParsedCommandLine rest = Parse({"INFILE:x.csv", "COMMAND:TOPDB", "OVERWRITE"});
  EXPECT_EQ(rest.command, Command::kNone);
  EXPECT_FALSE(rest.options.overwrite);
  EXPECT_TRUE(rest.options.csvFile.empty());

  // An opening brace without a closing one keeps the words, each with a blank.
  const ParsedCommandLine open = Parse({"COMMAND:TOPDB", "DBNAME:{a", "b", "OVERWRITE"});
  EXPECT_EQ(open.options.databaseName, "a b OVERWRITE ");
  EXPECT_FALSE(open.options.overwrite);
}

TEST(GetBracketValue, ReturnsTheLastArgumentConsumed) {
  const std::vector<std::string> args{"qv", "X:", "no", "{a", "b}", "tail"};
  std::string value = "stale";
  EXPECT_EQ(GetBracketValue(1, value, args), 4u);
  EXPECT_EQ(value, "a b");
  EXPECT_EQ(GetBracketValue(4, value, args), args.size());
  EXPECT_EQ(value, "");
  EXPECT_EQ(GetBracketValue(3, value, {"{x}"}), 1u);  // past the end: nothing
  EXPECT_EQ(GetBracketValue(0, value, {"{}"}), 0u);
  EXPECT_EQ(value, "");
}

TEST(ParseCommandLine, HelpStopsEverything) {
  EXPECT_TRUE(Parse({"/?"}).showUsage);
  EXPECT_TRUE(Parse({"/help"}).showUsage);
  EXPECT_TRUE(Parse({"COMMAND:TOCSV", "INFILE:{a/?b}"}).showUsage);
  const ParsedCommandLine first = Parse({"/HELP", "COMMAND:TOCSV", "OVERWRITE"});
  EXPECT_TRUE(first.showUsage);
  EXPECT_FALSE(first.options.overwrite);  // parsing stopped at the help
  // Inside a gathered value the help keyword is never looked at.
  EXPECT_FALSE(Parse({"INFILE:{a", "/?}"}).showUsage);
}

TEST(ParseCommandLine, OverlongValuesAreRefusedNotCut) {
  const std::string name1023(1023, 'n');
  const ParsedCommandLine fits = Parse({"COMMAND:TOCSV", "OUTFILE:{" + name1023 + "}"});
  EXPECT_TRUE(fits.refusal.empty());
  EXPECT_EQ(fits.options.csvFile, name1023);

  const ParsedCommandLine file = Parse({"COMMAND:TOCSV", "OUTFILE:{" + name1023 + "x}"});
  EXPECT_NE(file.refusal.find("OUTFILE:"), std::string::npos) << file.refusal;
  EXPECT_NE(file.refusal.find("1023"), std::string::npos) << file.refusal;

  // Blanks put back between split words count towards the length.
  const ParsedCommandLine split =
      Parse({"INFILE:{" + std::string(1000, 'a'), std::string(22, 'b') + "}"});
  EXPECT_TRUE(split.refusal.empty());
  EXPECT_EQ(split.options.csvFile.size(), 1023u);
  EXPECT_FALSE(Parse({"INFILE:{" + std::string(1000, 'a'), std::string(23, 'b') + "}"})
                   .refusal.empty());

  EXPECT_TRUE(Parse({"PASSWORD:{" + std::string(31, 'p') + "}"}).refusal.empty());
  EXPECT_NE(Parse({"PASSWORD:{" + std::string(32, 'p') + "}"}).refusal.find("PASSWORD:"),
            std::string::npos);
  EXPECT_NE(Parse({"DBNAME:{" + std::string(32, 'd') + "}"}).refusal.find("DBNAME:"),
            std::string::npos);
  EXPECT_TRUE(Parse({"DATEFORMAT:{" + std::string(255, '1') + "}"}).refusal.empty());
  EXPECT_NE(Parse({"TIMEFORMAT:{" + std::string(256, '1') + "}"}).refusal.find("TIMEFORMAT:"),
            std::string::npos);

  // The first refused option is the one reported.
  const ParsedCommandLine two = Parse({"POPUPS:{" + std::string(2000, 'p') + "}",
                                       "USEEXISTING:{" + std::string(2000, 'u') + "}"});
  EXPECT_NE(two.refusal.find("POPUPS:"), std::string::npos) << two.refusal;
  EXPECT_EQ(two.refusal.find("USEEXISTING:"), std::string::npos) << two.refusal;
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(OptionsAdditions, InfoSchemaEncodingAndSeparator) {
  ParsedCommandLine info =
      ParseCommandLine({"qv", "COMMAND:INFO", "INFILE:{a.pdb}", "OUTFILE:{a.schema}"});
  EXPECT_EQ(info.command, Command::kInfo);
  EXPECT_EQ(info.options.pdbFile, "a.pdb");
  EXPECT_EQ(info.options.schemaFile, "a.schema");
  EXPECT_TRUE(info.options.csvFile.empty());

  ParsedCommandLine import = ParseCommandLine(
      {"qv", "COMMAND:TOPDB", "SCHEMA:{s.txt}", "ENCODING:{utf-8-bom}", "SEPARATOR:{;}"});
  EXPECT_EQ(import.options.schemaFile, "s.txt");
  EXPECT_EQ(import.options.encoding, CsvEncoding::kUtf8Bom);
  EXPECT_EQ(import.options.separator, ';');
  EXPECT_EQ(ParseCommandLine({"qv", "SEPARATOR:{TAB}"}).options.separator, '\t');
  EXPECT_EQ(ParseCommandLine({"qv", "SEPARATOR:{,}"}).options.separator, ',');
  EXPECT_EQ(ParseCommandLine({"qv", "ENCODING:{UTF-8}"}).options.encoding, CsvEncoding::kUtf8);
  EXPECT_EQ(ParseCommandLine({"qv"}).options.encoding, CsvEncoding::kBytes);

  // Values that cannot work are refused, naming the option.
  EXPECT_NE(ParseCommandLine({"qv", "SEPARATOR:{\"}"}).refusal.find("SEPARATOR:"),
            std::string::npos);
  EXPECT_FALSE(ParseCommandLine({"qv", "SEPARATOR:{;;}"}).refusal.empty());
  EXPECT_FALSE(ParseCommandLine({"qv", std::string("SEPARATOR:{\n}")}).refusal.empty());
  EXPECT_NE(ParseCommandLine({"qv", "ENCODING:{latin1}"}).refusal.find("ENCODING:"),
            std::string::npos);
}

TEST(OptionsAdditions, ConventionalFlagsOnlyAsWholeArguments) {
  EXPECT_TRUE(ParseCommandLine({"qv", "--help"}).showHelp);
  EXPECT_TRUE(ParseCommandLine({"qv", "COMMAND:TOCSV", "-h"}).showHelp);
  EXPECT_TRUE(ParseCommandLine({"qv", "--version"}).showVersion);
  const ParsedCommandLine named =
      ParseCommandLine({"qv", "COMMAND:TOCSV", "INFILE:{--help.pdb}", "OUTFILE:{-h}"});
  EXPECT_FALSE(named.showHelp);
  EXPECT_EQ(named.options.pdbFile, "--help.pdb");
  EXPECT_EQ(named.options.csvFile, "-h");
}

}  // namespace
}  // namespace qv
