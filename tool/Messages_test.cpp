#include "tool/Messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devicelist/FillIn.h"

namespace quillmark::messages {
namespace {

std::string ReadSource(const std::string& name) {
  std::ifstream in(std::string(QUILLMARK_SOURCE_DIR) + "/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text a roff line shows. Font macros take arguments, split at blanks
// outside double quotes: .B and .I show them joined by blanks, the
// alternating ones (.BI, .IR and so on) joined by nothing.
std::string Shown(const std::string& line) {
  std::string macro;
  std::string rest = line;
  if (line.starts_with(".")) {
    const std::size_t blank = line.find(' ');
    macro = line.substr(1, blank - 1);
    rest = blank == std::string::npos ? "" : line.substr(blank + 1);
  }
  rest = std::regex_replace(rest, std::regex(R"(\\f[BIRP])"), "");
  rest = std::regex_replace(rest, std::regex(R"(\\-)"), "-");
  rest = std::regex_replace(rest, std::regex(R"(\\\(dq)"), "\"");
  rest = std::regex_replace(rest, std::regex(R"(\\\(aq)"), "'");
  std::vector<std::string> arguments(1);
  bool quoted = false;
  for (const char c : rest) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      if (!arguments.back().empty()) arguments.emplace_back();
    } else {
      arguments.back() += c;
    }
  }
  const std::string separator = macro.size() == 2 ? "" : " ";
  std::string shown;
  for (const std::string& argument : arguments) {
    if (!shown.empty() && !argument.empty()) shown += separator;
    shown += argument;
  }
  return shown;
}

// The tags of the manual's DIAGNOSTICS section: the line after each .TP or
// .TQ.
std::set<std::string> ManualDiagnostics() {
  std::istringstream manual(ReadSource("doc/quillmark.1"));
  std::set<std::string> tags;
  bool in_section = false;
  bool tag_next = false;
  for (std::string line; std::getline(manual, line);) {
    if (line.starts_with(".SH")) in_section = line == ".SH DIAGNOSTICS";
    if (in_section && tag_next) tags.insert(Shown(line));
    tag_next = line == ".TP" || line == ".TQ";
  }
  return tags;
}

// The manual lists every message that the tool prints, and nothing else.
TEST(Messages, ManualListsEveryMessage) {
  const std::set<std::string> table(std::begin(kAll), std::end(kAll));
  EXPECT_EQ(table, ManualDiagnostics());
}

TEST(Messages, ReadmeListsEveryMessage) {
  const std::string readme = ReadSource("README.md");
  for (const std::string_view message : kAll) {
    EXPECT_NE(std::string::npos, readme.find(message)) << message;
  }
}

// Only the placeholder is replaced, also where the value looks like one.
TEST(Messages, PatternsAreFilledIn) {
  EXPECT_EQ("Unexpected argument: 'N HH'.",
            FillIn(kUnexpectedArgument, "WORD", "N HH"));
  EXPECT_EQ("Line 4294967295: extension holds control character 0xHH.",
            FillIn(list_messages::kControlCharacter, "N", "4294967295"));
}

}  // namespace
}  // namespace quillmark::messages
