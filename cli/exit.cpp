// The end of a run: the output check and the early stop.
#include "cli/exit.h"

#include "cli/json.h"
#include "program/program.h"

int delivered(std::FILE* out) {
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return 0;
  std::fprintf(stderr, "%s: cannot write to standard output\n", programName());
  std::clearerr(out);  // said once: a later check of the same stream finds it clean
  return ExitOutputFailed;
}

int withOutputDelivered(int status) {
  return delivered(stdout) != 0 && status == 0 ? ExitOutputFailed : status;
}

int stopRun(int status, const std::string& message, bool json) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", programName(), message.c_str());
  if (json) deliverJson(stdout, jsonObject({schemaMember(), errorMember(status, message)}));
  return status;
}
