#include "cli/options.h"

#include <getopt.h>

#include <cstring>
#include <iterator>
#include <string>

namespace {

// getopt's value of a row: its letter, or for a long name only a value
// above every character.
constexpr int LongOnlyBase = 0x100;
int valueOf(std::size_t index) {
  const char letter = optionRows[index].letter;
  return letter != '\0' ? static_cast<unsigned char>(letter) : LongOnlyBase + static_cast<int>(index);
}

// "+" (stop at the first field argument) and every letter of the table.
struct ShortOptions {
  char text[OptionCount + 2] = {'+'};
  ShortOptions() {
    std::size_t length = 1;
    for (const OptionRow& row : optionRows)
      if (row.letter != '\0') text[length++] = row.letter;
  }
};

struct LongOptions {
  option rows[OptionCount + 1] = {};
  LongOptions() {
    std::size_t count = 0;
    for (std::size_t i = 0; i < OptionCount; ++i) {
      if (optionRows[i].longName == nullptr) continue;
      rows[count++] = {optionRows[i].longName, optionRows[i].takesPath ? required_argument : no_argument,
                       nullptr, valueOf(i)};
    }
  }
};

const OptionRow* rowOf(int value) {
  for (std::size_t i = 0; i < OptionCount; ++i)
    if (valueOf(i) == value) return &optionRows[i];
  return nullptr;
}

void noteUsageError(CommandLine& line, const std::string& text, bool said = false) {
  if (!line.usageError.empty()) return;
  line.usageError = text;
  line.usageErrorSaid = said;
}

// What getopt refused in `argument` ("--name" or "--name=value"), in words.
std::string longOptionRefusal(const char* argument, const OptionRow* row) {
  const std::string given(argument);
  if (row != nullptr && row->takesPath)
    return "--" + std::string(row->longName) + " needs the path of a disk or disk image";
  if (row != nullptr) return "option '--" + std::string(row->longName) + "' takes no value";
  const std::size_t equals = given.find('=');
  const std::string name = given.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  std::string candidates;
  for (const OptionRow& option : optionRows)
    if (option.longName != nullptr && !name.empty() &&
        std::strncmp(option.longName, name.c_str(), name.size()) == 0)
      candidates += (candidates.empty() ? "--" : ", --") + std::string(option.longName);
  if (candidates.find(',') != std::string::npos)
    return "option '--" + name + "' is ambiguous (" + candidates + ")";
  return "unrecognized option '" + given + "'";
}

void apply(CommandLine& line, const OptionRow& row) {
  ToolOptionsFlags& flags = line.flags;
  switch (row.name) {
    case OptionName::HelpPage: line.helpPage = true; break;
    case OptionName::Clear: flags.clear = true; break;
    case OptionName::Remove: flags.remove = true; break;
    case OptionName::Script: flags.script = true; break;
    case OptionName::Screen: break;  // the record page is the default
    case OptionName::DryRun: flags.dryRun = true; break;
    case OptionName::Json: flags.json = true; break;
    case OptionName::Disk:
      if (line.diskCount == DiskSlotMax) {
        noteUsageError(line, "at most " + std::to_string(DiskSlotMax) + " disks can be named with --disk");
      } else {
        line.disks[line.diskCount++] = optarg;
      }
      break;
    case OptionName::Usage:
    case OptionName::Version:
      if (line.answer == nullptr) line.answer = &row;
      break;
  }
}

}  // namespace

CommandLine readCommandLine(int argc, char** argv, bool editor) {
  static const ShortOptions shortOptions;
  static const LongOptions longOptions;
  CommandLine line;
  optind = 0;  // a fresh scan, whatever ran getopt before
  int value = 0;
  while ((value = getopt_long(argc, argv, shortOptions.text, longOptions.rows, nullptr)) != -1) {
    const OptionRow* row = rowOf(value == '?' ? optopt : value);
    if (value == '?') {
      // getopt has said why. A letter that is no option (in optopt) is
      // ignored, as it always was. A long name that is none of ours or is
      // ambiguous (optopt 0), or a long option given a value it takes none
      // of or lacking its path (optopt its row), is a usage error; optind is
      // past it. Only for the missing path does a line of ours follow
      // getopt's, to say what the path is for.
      if (optopt == 0 || (row != nullptr && row->longName != nullptr))
        noteUsageError(line, longOptionRefusal(argv[optind - 1], row), row == nullptr || !row->takesPath);
      continue;
    }
    if (row == nullptr) continue;
    if (!optionOfRole(*row, editor)) {
      line.otherRole = true;
      continue;
    }
    apply(line, *row);
  }
  line.firstArgument = optind;
  return line;
}

bool jsonRequested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--json") == 0) return true;
  return false;
}

std::string usageOptionLines(bool editor) {
  constexpr std::size_t TextColumn = 13;
  constexpr std::size_t Indent = 2;
  std::string out;
  for (const OptionRow& row : optionRows) {
    if (!optionOfRole(row, editor)) continue;
    const char* text = !editor && row.viewerUsageText != nullptr ? row.viewerUsageText : row.usageText;
    const std::size_t labelEnd = Indent + std::strlen(row.usageLabel);
    out += std::string(Indent, ' ') + row.usageLabel;
    out += std::string(labelEnd + 2 > TextColumn ? 2 : TextColumn - labelEnd, ' ');
    for (const char* at = text; *at != '\0'; ++at) {
      out += *at;
      if (*at == '\n') out += std::string(TextColumn, ' ');
    }
    out += '\n';
  }
  return out;
}
