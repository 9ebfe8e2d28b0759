#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qv {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "qv");
  return ParseCommandLine(args);
}

// What a command line set, in one line: the command, the flags that are on
// and the non-empty values, so a table can state the whole expected outcome.
std::string Effects(const std::vector<std::string>& args) {
  const ParsedCommandLine p = Parse(args);
  const ConversionOptions& o = p.options;
  std::string s;
  const char* commands[] = {"", "topdb ", "tocsv ", "info "};
  s += commands[static_cast<int>(p.command)];
  for (auto [on, name] : {std::pair{p.showUsage, "usage"}, {p.showHelp, "help"},
                          {p.showVersion, "version"}, {o.overwrite, "overwrite"},
                          {o.placeQuotes, "placequotes"}, {o.fieldNames, "fieldnames"},
                          {o.useExisting, "useexisting"}}) {
    if (on) s += std::string(name) + " ";
  }
  for (auto [value, name] :
       {std::pair{&o.csvFile, "csv"}, {&o.pdbFile, "pdb"}, {&o.schemaFile, "schema"},
        {&o.existingFile, "existing"}, {&o.givenPassword, "password"},
        {&o.databaseName, "db"}}) {
    if (!value->empty()) s += std::string(name) + "=" + *value + " ";
  }
  if (!p.accepted) s += "refusal=" + p.accepted.message() + " ";
  if (!s.empty()) s.pop_back();
  return s;
}

TEST(ParseCommandLine, DefaultsWithoutArguments) {
  const ParsedCommandLine parsed = Parse({});
  EXPECT_EQ(parsed.command, Command::kNone);
  EXPECT_FALSE(parsed.showUsage);
  EXPECT_TRUE(parsed.accepted.ok());
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

TEST(ParseCommandLine, BracedValuesAreData) {
  const struct {
    std::vector<std::string> args;
    std::string effects;
  } cases[] = {
      // A keyword inside a value is part of the value.
      {{"PASSWORD:{secret-OverWrite}"}, "password=secret-OverWrite"},
      {{"COMMAND:TOPDB", "INFILE:{placequotes.csv}"}, "topdb csv=placequotes.csv"},
      {{"USEEXISTING:{placequotes.pdb}"}, "useexisting existing=placequotes.pdb"},
      {{"COMMAND:TOCSV", "INFILE:{backups/Helpdesk.pdb}"}, "tocsv pdb=backups/Helpdesk.pdb"},
      {{"DBNAME:{fieldnames}", "PASSWORD:{pw}"}, "password=pw db=fieldnames"},
      {{"DBNAME:{command:tocsv}"}, "db=command:tocsv"},
      {{"INFILE:{a/?b}"}, "csv=a/?b"},
      // The arguments that continue a value the shell split are data too,
      // conventional flags included.
      {{"PASSWORD:{a", "-h", "/?", "--version", "overwrite", "b}"},
       "password=a -h /? --version overwrite b"},
      // A brace opened by a flag or by an unknown argument holds data as well.
      {{"FIELDNAMES{a", "overwrite}"}, "fieldnames"},
      {{"note:{placequotes", "-h}", "OVERWRITE"}, "overwrite"},
      // Outside braces keywords still match anywhere, in the table's order.
      {{"xCOMMAND:TOCSVx", "-overwrite-{placequotes}"}, "tocsv overwrite"},
      {{"PASSWORDOVERWRITE:{pw}"}, "overwrite"},
      {{"INFILE:x.csv", "OUTFILE:{y.pdb}"}, "csv=y.pdb"},
      {{"INFILE:", "-h", "{x}"}, "help"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Effects(c.args), c.effects) << c.args.front();
  }
}

TEST(ParseCommandLine, TheCommandDecidesTheFileRolesWhereverItStands) {
  const struct {
    std::vector<std::string> args;
    std::string effects;
  } cases[] = {
      {{"COMMAND:TOCSV", "INFILE:{a.pdb}", "OUTFILE:{b.csv}"}, "tocsv csv=b.csv pdb=a.pdb"},
      {{"INFILE:{db.pdb}", "OUTFILE:{x.csv}", "COMMAND:TOCSV"}, "tocsv csv=x.csv pdb=db.pdb"},
      {{"OUTFILE:{x.csv}", "COMMAND:TOCSV", "INFILE:{db.pdb}"}, "tocsv csv=x.csv pdb=db.pdb"},
      {{"INFILE:{a.csv}", "COMMAND:TOPDB", "OUTFILE:{b.pdb}"}, "topdb csv=a.csv pdb=b.pdb"},
      // The last command decides, also for the files named before it.
      {{"COMMAND:TOCSV", "INFILE:{a.csv}", "OUTFILE:{b.pdb}", "COMMAND:TOPDB"},
       "topdb csv=a.csv pdb=b.pdb"},
      {{"OUTFILE:{s.schema}", "INFILE:{a.pdb}", "COMMAND:INFO"},
       "info pdb=a.pdb schema=s.schema"},
      // SCHEMA: names a file the import reads; INFO never writes there.
      {{"COMMAND:INFO", "INFILE:{a.pdb}", "SCHEMA:{s.schema}"}, "info pdb=a.pdb"},
      {{"SCHEMA:{s.schema}", "COMMAND:TOPDB"}, "topdb schema=s.schema"},
      {{"INFILE:{a.csv}", "OUTFILE:{b.pdb}"}, "csv=a.csv pdb=b.pdb"},
      {{"INFILE:{a.csv}", "INFILE:{}", "COMMAND:TOPDB"}, "topdb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Effects(c.args), c.effects) << c.args.front();
  }
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
  const ConversionOptions bare = Parse({"USEEXISTING:{}"}).options;
  EXPECT_TRUE(bare.useExisting);
  EXPECT_TRUE(bare.existingFile.empty());
}

TEST(ParseCommandLine, FormatNumbersReadLikeAtoiWithinTheirRange) {
  const struct {
    std::vector<std::string> args;
    int date, time;      // what is stored when accepted
    const char* refused;  // the option a refusal names, or nullptr
  } cases[] = {
      {{"DATEFORMAT:{abc}"}, 0, 0, nullptr},
      {{"DATEFORMAT:{ 3x}"}, 3, 0, nullptr},
      {{"DATEFORMAT:{}"}, 0, 0, nullptr},
      {{"DATEFORMAT:{", "6}", "TIMEFORMAT:{+4}"}, 6, 4, nullptr},
      {{"DATEFORMAT:{7}"}, 0, 0, "DATEFORMAT:{7}"},
      {{"DATEFORMAT:{-2}"}, 0, 0, "DATEFORMAT:{-2}"},
      {{"DATEFORMAT:{99999999999}"}, 0, 0, "DATEFORMAT:"},
      {{"TIMEFORMAT:{5}"}, 0, 0, "TIMEFORMAT:{5}"},
      {{"TIMEFORMAT:{-1}"}, 0, 0, "TIMEFORMAT:{-1}"},
  };
  for (const auto& c : cases) {
    const ParsedCommandLine parsed = Parse(c.args);
    if (c.refused == nullptr) {
      EXPECT_EQ(parsed.accepted.message(), "") << c.args.front();
      EXPECT_EQ(parsed.options.dateFormat, c.date) << c.args.front();
      EXPECT_EQ(parsed.options.timeFormat, c.time) << c.args.front();
    } else {
      EXPECT_NE(parsed.accepted.message().find(c.refused), std::string::npos)
          << parsed.accepted.message();
    }
  }
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
  const ParsedCommandLine first = Parse({"/HELP", "COMMAND:TOCSV", "OVERWRITE"});
  EXPECT_TRUE(first.showUsage);
  EXPECT_FALSE(first.options.overwrite);  // parsing stopped at the help
  // Inside a gathered value the help keyword is never looked at.
  EXPECT_FALSE(Parse({"INFILE:{a", "/?}"}).showUsage);
}

TEST(ParseCommandLine, OverlongValuesAreRefusedNotCut) {
  const std::string name1023(1023, 'n');
  const ParsedCommandLine fits = Parse({"COMMAND:TOCSV", "OUTFILE:{" + name1023 + "}"});
  EXPECT_TRUE(fits.accepted.ok());
  EXPECT_EQ(fits.options.csvFile, name1023);

  const ParsedCommandLine file = Parse({"COMMAND:TOCSV", "OUTFILE:{" + name1023 + "x}"});
  EXPECT_NE(file.accepted.message().find("OUTFILE:"), std::string::npos) << file.accepted.message();
  EXPECT_NE(file.accepted.message().find("1023"), std::string::npos) << file.accepted.message();

  // Blanks put back between split words count towards the length.
  const ParsedCommandLine split =
      Parse({"INFILE:{" + std::string(1000, 'a'), std::string(22, 'b') + "}"});
  EXPECT_TRUE(split.accepted.ok());
  EXPECT_EQ(split.options.csvFile.size(), 1023u);
  EXPECT_FALSE(Parse({"INFILE:{" + std::string(1000, 'a'), std::string(23, 'b') + "}"})
                   .accepted.ok());

  EXPECT_TRUE(Parse({"PASSWORD:{" + std::string(31, 'p') + "}"}).accepted.ok());
  EXPECT_NE(Parse({"PASSWORD:{" + std::string(32, 'p') + "}"}).accepted.message().find("PASSWORD:"),
            std::string::npos);
  EXPECT_NE(Parse({"DBNAME:{" + std::string(32, 'd') + "}"}).accepted.message().find("DBNAME:"),
            std::string::npos);
  EXPECT_TRUE(Parse({"DATEFORMAT:{" + std::string(255, '0') + "}"}).accepted.ok());
  EXPECT_NE(Parse({"TIMEFORMAT:{" + std::string(256, '0') + "}"}).accepted.message().find("longer than"),
            std::string::npos);

  // The first refused option is the one reported.
  const ParsedCommandLine two = Parse({"POPUPS:{" + std::string(2000, 'p') + "}",
                                       "USEEXISTING:{" + std::string(2000, 'u') + "}"});
  EXPECT_NE(two.accepted.message().find("POPUPS:"), std::string::npos) << two.accepted.message();
  EXPECT_EQ(two.accepted.message().find("USEEXISTING:"), std::string::npos) << two.accepted.message();
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
  for (auto [name, separator] : {std::pair{"SEPARATOR:{TAB}", '\t'}, {"SEPARATOR:{,}", ','},
                                  {"SEPARATOR:{comma}", ','}, {"SEPARATOR:{Semicolon}", ';'},
                                  {"SEPARATOR:{\xA7}", '\xA7'}}) {
    EXPECT_EQ(ParseCommandLine({"qv", name}).options.separator, separator) << name;
  }
  EXPECT_EQ(ParseCommandLine({"qv", "ENCODING:{UTF-8}"}).options.encoding, CsvEncoding::kUtf8);
  EXPECT_EQ(ParseCommandLine({"qv"}).options.encoding, CsvEncoding::kBytes);

  // Values that cannot work are refused, naming the option.
  EXPECT_NE(ParseCommandLine({"qv", "SEPARATOR:{\"}"}).accepted.message().find("SEPARATOR:"),
            std::string::npos);
  EXPECT_FALSE(ParseCommandLine({"qv", "SEPARATOR:{;;}"}).accepted.ok());
  EXPECT_FALSE(ParseCommandLine({"qv", std::string("SEPARATOR:{\n}")}).accepted.ok());
  EXPECT_NE(ParseCommandLine({"qv", "ENCODING:{latin1}"}).accepted.message().find("ENCODING:"),
            std::string::npos);

  // A UTF-8 file writes a character from 0x80 up as several bytes, which the
  // import could not split at: with ENCODING: the separator is ASCII, given
  // before or after it. Several bytes are never one separator.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"qv", "SEPARATOR:{\xA7}", "ENCODING:{UTF-8}"},
        {"qv", "ENCODING:{UTF-8-BOM}", "SEPARATOR:{\xA7}"},
        {"qv", "ENCODING:{UTF-8}", "SEPARATOR:{\xC2\xA7}"},
        {"qv", "SEPARATOR:{\xC2\xA7}"}}) {
    EXPECT_NE(ParseCommandLine(args).accepted.message().find("SEPARATOR:"), std::string::npos)
        << args[1];
  }
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
