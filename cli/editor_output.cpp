// The editor's outcome rendered: the confirmation and refusal lines, the
// store's reports, and the --json object, all from the same outcome.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/editor.h"
#include "cli/exit.h"
#include "cli/report.h"
#include "cli/report_json.h"
#include "fields/values.h"
#include "program/i18n.h"
#include "program/program.h"

namespace {

void printLine(std::FILE* out, const std::string& text) { std::fprintf(out, "%s\n", text.c_str()); }

void printArgument(const ArgumentResult& argument, std::FILE* out) {
  switch (argument.verdict) {
    case ArgumentVerdict::Set:
      std::fprintf(out, "%s '%s'\n", tr(argument.row->confirmLabel), argument.value.c_str());
      break;
    case ArgumentVerdict::Refused:
      // The field, the value and what the field takes, in order with the lines before it.
      if (!argument.note.empty()) printLine(out, argument.note);
      std::fflush(out);
      std::fprintf(stderr, "%s: %s '%s' refused, expected %s\n", programName(), argument.field.c_str(),
                   argument.value.c_str(), argument.expected.c_str());
      break;
    case ArgumentVerdict::SidRefused: printLine(out, argument.note); break;
    case ArgumentVerdict::Unknown:
      printLine(out, unknownParameterLine(argument.index, argument.field.c_str()));
      break;
    case ArgumentVerdict::SampleLoaded: break;
  }
}

// The failure lines of a save or removal, or a dry run's report of it.
void printStore(const StoreStep& step, StoreAction action, bool dryRun, std::FILE* out) {
  if (!step.ran) return;
  std::fflush(out);  // the lines before it come before any failure report
  if (dryRun) {
    reportPlannedStore(step.status, step.report, action, out);
  } else {
    reportStoreFailure(step.status, step.report, action);
  }
}

const char* sidRefusal(int status) {
  switch (status) {
    case SidTooFewFields: return "not enough fields or an invalid separator";
    case SidTooManyFields: return "too many fields";
    default: return "invalid data in one of the fields";
  }
}

std::string refusalJson(const std::string& field, const std::string& value, const std::string& reason) {
  return jsonObject({{"field", jsonString(field)}, {"value", value}, {"reason", jsonString(reason)}});
}

// Each refused value, and the unknown argument that ended the arguments.
std::vector<std::string> refusalsJson(const EditorOutcome& outcome) {
  std::vector<std::string> refusals;
  for (const ArgumentResult& argument : outcome.arguments) {
    switch (argument.verdict) {
      case ArgumentVerdict::Refused:
        refusals.push_back(
            refusalJson(argument.field, jsonString(argument.value), "expected " + argument.expected));
        break;
      case ArgumentVerdict::SidRefused:
        refusals.push_back(
            refusalJson(argument.field, jsonString(argument.value), sidRefusal(argument.sidStatus)));
        break;
      case ArgumentVerdict::Unknown:
        refusals.push_back(refusalJson(argument.field, JsonNull,
                                       "unknown parameter; the arguments after it were not applied"));
        break;
      case ArgumentVerdict::Set:
      case ArgumentVerdict::SampleLoaded: break;
    }
  }
  return refusals;
}

// Each field whose value the run changed, before and after.
std::string changedFields(const std::vector<JsonMember>& before, const std::vector<JsonMember>& after) {
  std::vector<JsonMember> changed;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
    if (before[i].value != after[i].value)
      changed.push_back(
          {before[i].name, jsonObject({{"before", before[i].value}, {"after", after[i].value}})});
  return jsonObject(changed);
}

bool wroteDisk(const StoreStep& step) { return step.ran && anyDiskWritten(step.report); }

// Why a save or removal found no usable disk (the removal's first); empty
// when each found one.
std::string noUsableDisk(const EditorOutcome& outcome) {
  if (outcome.removal.ran && outcome.removal.status == IsdNoDevice)
    return noUsableDiskText(StoreAction::Removal, outcome.dryRun);
  if (outcome.save.ran && outcome.save.status == IsdNoDevice)
    return noUsableDiskText(StoreAction::Save, outcome.dryRun);
  return {};
}

}  // namespace

void printEditorLines(const EditorOutcome& outcome, std::FILE* out) {
  printStore(outcome.removal, StoreAction::Removal, outcome.dryRun, out);
  for (const ArgumentResult& argument : outcome.arguments) printArgument(argument, out);
  printSaveLines(outcome, out);
}

void printSaveLines(const EditorOutcome& outcome, std::FILE* out) {
  printStore(outcome.save, StoreAction::Save, outcome.dryRun, out);
}

std::string editorJson(const EditorOutcome& outcome) {
  const std::string removal =
      outcome.removal.ran ? storeDisksJson(outcome.removal.report, StoreAction::Removal, outcome.dryRun)
                          : JsonNull;
  const std::string disks =
      outcome.save.ran ? storeDisksJson(outcome.save.report, StoreAction::Save, outcome.dryRun) : "[]";
  std::vector<JsonMember> members = {
      schemaMember(),
      {"changed", jsonBool(wroteDisk(outcome.removal) || wroteDisk(outcome.save))},
      {"dryRun", jsonBool(outcome.dryRun)},
      {"fields", changedFields(outcome.before, outcome.after)},
      {"refused", jsonArray(refusalsJson(outcome))},
      {"removal", removal},
      {"disks", disks},
      // A removal that no save followed leaves no record stored.
      {"record", outcome.removal.ran && !outcome.saveRequested ? JsonNull : jsonObject(outcome.after)},
  };
  const std::string noDisk = noUsableDisk(outcome);
  if (!noDisk.empty()) members.push_back(errorMember(editorExitStatus(outcome), noDisk));
  return jsonObject(members);
}
