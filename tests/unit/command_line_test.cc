#include "tools/common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using corvane::tools::CommandLine;
using corvane::tools::HelpText;
using corvane::tools::ReadCommandLine;
using corvane::tools::ToolInterface;

const ToolInterface kTool = {
    "corvane-sample",
    {"[OPTIONS] FILE", "--list"},
    "Does a sample thing.",
    {{"Arguments", {{"FILE", "", "the file to read"}}},
     {"Options",
      {
          {"--out", "PATH", "where to write\nthe result"},
          {"--list", "", "list what there is"},
          {"--gpu", "N", "a Windows-only option", "is available only on Windows"},
          {"--a-rather-long-option", "VALUE", "pushes the column"},
      }}},
    "Exit code 0, 2 for usage.",
    /*max_operands=*/1,
};

std::string ErrorOf(const std::vector<std::string>& args) {
  CommandLine command_line;
  std::string error;
  return ReadCommandLine(args, kTool, &command_line, &error) ? "" : error;
}

TEST(CommandLineTest, ReadsOptionsValuesAndOperandsInOrder) {
  CommandLine command_line;
  std::string error;
  ASSERT_TRUE(ReadCommandLine({"in.txt", "--out", "--list"}, kTool, &command_line, &error))
      << error;  // a value is the next argument, even when it looks like an option
  ASSERT_EQ(command_line.options.size(), 1u);
  EXPECT_EQ(*command_line.Value("--out"), "--list");
  EXPECT_FALSE(command_line.Has("--list"));
  EXPECT_EQ(command_line.operands, std::vector<std::string>{"in.txt"});

  ASSERT_TRUE(ReadCommandLine({"--list", "-", "--version", "-h"}, kTool, &command_line, &error));
  EXPECT_TRUE(command_line.Has("--list"));
  EXPECT_EQ(*command_line.Value("--list"), "");
  EXPECT_EQ(command_line.Value("--out"), nullptr);
  EXPECT_EQ(command_line.operands, std::vector<std::string>{"-"});  // "-" is a file name
  EXPECT_TRUE(command_line.help);
  EXPECT_TRUE(command_line.version);
}

TEST(CommandLineTest, RefusesInTheSameWordsForEveryTool) {
  EXPECT_EQ(ErrorOf({"--bogus"}), "unknown option '--bogus' (see --help)");
  EXPECT_EQ(ErrorOf({"--help", "--bogus"}), "unknown option '--bogus' (see --help)");
  EXPECT_EQ(ErrorOf({"--out"}), "--out needs a value");
  EXPECT_EQ(ErrorOf({"--list", "--list"}), "--list is given twice");
  EXPECT_EQ(ErrorOf({"--gpu", "1"}), "--gpu is available only on Windows");
  EXPECT_EQ(ErrorOf({"a", "b"}), "too many arguments (see --help)");
  // An operand's name in the help is no option.
  EXPECT_EQ(ErrorOf({"FILE", "--FILE"}), "unknown option '--FILE' (see --help)");

  ToolInterface no_operands = kTool;
  no_operands.max_operands = 0;
  CommandLine command_line;
  std::string error;
  EXPECT_FALSE(ReadCommandLine({"stray"}, no_operands, &command_line, &error));
  EXPECT_EQ(error, "unexpected argument 'stray' (see --help)");
}

TEST(CommandLineTest, HelpHasOneLayout) {
  const std::string help = HelpText(kTool);
  // Usage lines, the text, then each group with its entries in one column wide enough for the
  // longest; continuation lines indented to it; --help and --version closing the last group.
  const std::string expected =
      "Usage: corvane-sample [OPTIONS] FILE\n"
      "       corvane-sample --list\n"
      "\n"
      "Does a sample thing.\n"
      "\n"
      "Arguments:\n"
      "  FILE                          the file to read\n"
      "\n"
      "Options:\n"
      "  --out PATH                    where to write\n"
      "                                the result\n"
      "  --list                        list what there is\n"
      "  --a-rather-long-option VALUE  pushes the column\n"
      "  --help                        show this text\n"
      "  --version                     show the program's version\n"
      "\n"
      "Exit code 0, 2 for usage.\n";
  EXPECT_EQ(help, expected);
  EXPECT_EQ(help.find("--gpu"), std::string::npos);
}

TEST(CommandLineTest, VersionLineNamesTheProgramAndTheBuildsVersion) {
  const std::string line = corvane::tools::VersionLine("corvane-sample");
  EXPECT_EQ(line.rfind("corvane-sample ", 0), 0u);
  // Four dotted numbers, as the project's version has.
  const std::string version = line.substr(std::string("corvane-sample ").size());
  int parts = 1;
  for (const char c : version) {
    if (c == '.') {
      ++parts;
    } else {
      EXPECT_TRUE(c >= '0' && c <= '9') << version;
    }
  }
  EXPECT_GE(parts, 3) << version;
}

}  // namespace
