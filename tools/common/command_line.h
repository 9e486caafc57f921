#pragma once
// The command line of every tool: one reader of options and one layout of the --help text.
// Each tool lists its options once; the reader refuses unknown and repeated options and
// options without their value in the same words everywhere, and every tool knows --help and
// --version.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tools {

struct ToolOption {
  std::string_view name;        // "--json-file", or an operand's name such as "LOG_FILE"
  std::string_view value_name;  // "PATH" for an option that takes a value; empty for a flag
  std::string_view help;        // what it does; each '\n' starts an indented continuation line
  // When not empty the option is known but refused with "<name> <refused_because>" (such as
  // "is available only on Windows"), and the help leaves it out.
  std::string_view refused_because = {};
};

struct OptionGroup {
  std::string_view title;  // "Options", "Source (exactly one)", "Arguments"
  std::vector<ToolOption> entries;
};

struct ToolInterface {
  std::string_view program;                // "corvane-feed"
  std::vector<std::string_view> synopses;  // what follows the program name on each usage line
  std::string_view about;                  // the paragraph after the usage lines
  // Options (names starting with '-') and operands (the others, listed for the help only).
  // --help and --version are added at the end of the last group.
  std::vector<OptionGroup> groups;
  std::string_view notes;  // the closing paragraph: exit codes and what else a user must know
  size_t max_operands = 0;
};

// The --help text: usage lines, the about paragraph, each group with its entries in one
// column, and the notes.
std::string HelpText(const ToolInterface& tool);

// "corvane-feed 0.1.0.1": the program and the version of the build it belongs to.
std::string VersionLine(std::string_view program);

struct CommandLine {
  bool help = false;     // --help or -h
  bool version = false;  // --version
  struct Given {
    std::string name;
    std::string value;  // empty for a flag
  };
  std::vector<Given> options;         // in the order given, each at most once
  std::vector<std::string> operands;  // arguments that are no option, in order

  bool Has(std::string_view name) const;
  // The value given with `name`, or nullptr when it was not given.
  const std::string* Value(std::string_view name) const;
};

// Reads the arguments after the program name. False with one line in `error` when an option
// is unknown, refused or repeated, lacks its value, or there are more operands than the tool
// takes. An option's value is the next argument, whatever it looks like.
bool ReadCommandLine(const std::vector<std::string>& args, const ToolInterface& tool,
                     CommandLine* command_line, std::string* error);

// Exit code of a tool whose command line could not be read.
inline constexpr int kUsageExitCode = 2;

// For a tool whose main() takes its arguments as they come: reads them and answers what every
// such tool answers alike. Nothing when the tool goes on with `command_line`; otherwise the
// exit code, after "<program>: <error>" went to standard error (kUsageExitCode) or the help
// text or the version line to standard output (0).
std::optional<int> ReadToolArguments(int argc, const char* const* argv, const ToolInterface& tool,
                                     CommandLine* command_line);

}  // namespace corvane::tools
