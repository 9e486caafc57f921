#include "tools/common/command_line.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#ifndef CORVANE_VERSION_TEXT
#error "the build defines CORVANE_VERSION_TEXT from the project's version"
#endif

namespace corvane::tools {
namespace {

constexpr ToolOption kHelpOption{"--help", "", "show this text"};
constexpr ToolOption kVersionOption{"--version", "", "show the program's version"};
// Entries are written as "  NAME VALUE" and padded to at least this column before their help.
constexpr size_t kMinHelpColumn = 21;

bool IsOption(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-';
}

std::string EntryHead(const ToolOption& entry) {
  std::string head = "  ";
  head += entry.name;
  if (!entry.value_name.empty()) {
    head += ' ';
    head += entry.value_name;
  }
  return head;
}

const ToolOption* FindOption(const ToolInterface& tool, std::string_view name) {
  for (const OptionGroup& group : tool.groups) {
    for (const ToolOption& entry : group.entries) {
      if (entry.name == name && IsOption(entry.name)) return &entry;
    }
  }
  return nullptr;
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

}  // namespace

std::string HelpText(const ToolInterface& tool) {
  // The groups as shown: refused options left out, --help and --version added to the last.
  std::vector<OptionGroup> groups;
  for (const OptionGroup& group : tool.groups) {
    OptionGroup shown{group.title, {}};
    for (const ToolOption& entry : group.entries) {
      if (entry.refused_because.empty()) shown.entries.push_back(entry);
    }
    groups.push_back(std::move(shown));
  }
  if (groups.empty()) groups.push_back({"Options", {}});
  groups.back().entries.push_back(kHelpOption);
  groups.back().entries.push_back(kVersionOption);

  size_t column = kMinHelpColumn;
  for (const OptionGroup& group : groups) {
    for (const ToolOption& entry : group.entries) {
      column = std::max(column, EntryHead(entry).size() + 2);
    }
  }

  std::string text;
  for (size_t i = 0; i < tool.synopses.size(); ++i) {
    text += i == 0 ? "Usage: " : "       ";
    text += tool.program;
    text += ' ';
    text += tool.synopses[i];
    text += '\n';
  }
  text += '\n';
  text += tool.about;
  text += '\n';
  for (const OptionGroup& group : groups) {
    text += '\n';
    text += group.title;
    text += ":\n";
    for (const ToolOption& entry : group.entries) {
      std::string head = EntryHead(entry);
      head.resize(column, ' ');
      text += head;
      for (const char c : entry.help) {
        text += c;
        if (c == '\n') text.append(column, ' ');
      }
      text += '\n';
    }
  }
  if (!tool.notes.empty()) {
    text += '\n';
    text += tool.notes;
    text += '\n';
  }
  return text;
}

std::string VersionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += CORVANE_VERSION_TEXT;
  return line;
}

bool CommandLine::Has(std::string_view name) const {
  return Value(name) != nullptr;
}

const std::string* CommandLine::Value(std::string_view name) const {
  for (const Given& given : options) {
    if (given.name == name) return &given.value;
  }
  return nullptr;
}

bool ReadCommandLine(const std::vector<std::string>& args, const ToolInterface& tool,
                     CommandLine* command_line, std::string* error) {
  CommandLine read;
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!IsOption(arg)) {
      if (read.operands.size() >= tool.max_operands) {
        return Fail(error, tool.max_operands == 0 ? "unexpected argument '" + arg + "' (see --help)"
                                                  : "too many arguments (see --help)");
      }
      read.operands.push_back(arg);
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      read.help = true;
      continue;
    }
    if (arg == "--version") {
      read.version = true;
      continue;
    }
    const ToolOption* known = FindOption(tool, arg);
    if (known == nullptr) return Fail(error, "unknown option '" + arg + "' (see --help)");
    if (!known->refused_because.empty()) {
      return Fail(error, arg + " " + std::string(known->refused_because));
    }
    if (!seen.insert(arg).second) return Fail(error, arg + " is given twice");
    CommandLine::Given given{arg, {}};
    if (!known->value_name.empty()) {
      if (i + 1 >= args.size()) return Fail(error, arg + " needs a value");
      given.value = args[++i];
    }
    read.options.push_back(std::move(given));
  }
  *command_line = std::move(read);
  return true;
}

std::optional<int> ReadToolArguments(int argc, const char* const* argv, const ToolInterface& tool,
                                     CommandLine* command_line) {
  std::string error;
  if (!ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), tool, command_line,
                       &error)) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(tool.program.size()), tool.program.data(),
                 error.c_str());
    return kUsageExitCode;
  }
  if (command_line->help) {
    std::fputs(HelpText(tool).c_str(), stdout);
    return 0;
  }
  if (command_line->version) {
    std::puts(VersionLine(tool.program).c_str());
    return 0;
  }
  return std::nullopt;
}

}  // namespace corvane::tools
