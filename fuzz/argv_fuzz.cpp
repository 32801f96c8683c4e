// Fuzzing entry point for the editor's command line, in-process over one
// simulated in-memory disk: any of the options -c, -r, --json and -n and any
// arguments (split at zero bytes). Whatever they are, a dry run leaves every
// byte as it was, and otherwise the disk afterwards holds either no byte of
// a record (after -r without a save) or a complete record at 2560 with its
// matching journal copy, which reads back to exactly its stored bytes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/frontends.h"
#include "fuzz/fuzz_support.h"
#include "program/program.h"
#include "store/disk.h"
#include "store/loadchoice.h"
#include "tests/store/fake_platform.h"

namespace {

constexpr std::size_t MaxArguments = 12;
constexpr std::size_t DiskLength = JournalEnd + 2048;
const char* const Disk[] = {"/dev/sda"};

FakePlatform& platform() {
  static FakePlatform fake;
  return fake;
}

// The disk as every run starts: a workstation's record saved by the editor.
const std::vector<std::uint8_t>& startingDisk() {
  static const std::vector<std::uint8_t> bytes = [] {
    FakePlatform& fake = platform();
    fake.quiet = true;
    fake.add(Disk[0], DiskLength);
    scanNamedDisks(fake, Disk, 1);
    ImageSafeDataStruct record{};
    isdCreate(&record);
    narrowToWide(record.wsTree, "LAB_TREE");
    narrowToWide(record.netbiosName, "PC-0042");
    narrowToWide(record.lastBaseImage, "//server/images/base.zmg");
    record.dnsServerCount = 2;
    isdSave(&record);
    return fake.disks[Disk[0]].bytes;
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  startingDisk();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::uint8_t options = input.byte();
  std::vector<std::string> words;
  std::string word;
  for (const std::uint8_t c : input.bytes(4096)) {
    if (c != 0) {
      word.push_back(static_cast<char>(c));
    } else if (words.size() < MaxArguments) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty() && words.size() < MaxArguments) words.push_back(word);
  ToolMode = ToolModeEditor;
  ToolOptions = {};
  ToolOptions.clear = (options & 1) != 0;
  ToolOptions.remove = (options & 2) != 0;
  ToolOptions.json = (options & 4) != 0;
  ToolOptions.dryRun = (options & 8) != 0;
  if (words.empty() && !ToolOptions.clear && !ToolOptions.remove) return 0;  // the form: not here

  FakePlatform& fake = platform();
  fake.disks[Disk[0]].bytes = startingDisk();
  const std::vector<std::uint8_t> before = fake.disks[Disk[0]].bytes;
  scanNamedDisks(fake, Disk, 1);
  isdLoad(&isdRecord);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  runEditorCommandLine(static_cast<int>(words.size()), argv.data());
  std::fflush(stdout);
  isdRelease(&isdRecord);

  const std::vector<std::uint8_t>& bytes = fake.disks[Disk[0]].bytes;
  fuzzCheck(bytes.size() == DiskLength);
  if (ToolOptions.dryRun) fuzzCheck(bytes == before);
  LoadedDisk loaded;
  loaded.store = bytes.data() + IsdStoreOffset;
  loaded.storeLength = JournalOffset - IsdStoreOffset;
  loaded.journal[0] = bytes.data() + JournalOffset;
  loaded.journalLength[0] = JournalAreaLength;
  DiskFinding found;
  const LoadChoice choice = chooseCopy(&loaded, 1, &found);
  if (choice.disk == NoCopy) {
    fuzzCheck(ToolOptions.remove);
    fuzzCheck(std::all_of(bytes.begin() + IsdStoreOffset, bytes.begin() + JournalEnd,
                          [](std::uint8_t b) { return b == 0; }));
    return 0;
  }
  fuzzCheck(!choice.fromJournal && choice.hasGeneration && found.journalMatches);
  ImageSafeDataStruct record{};
  if (!isdCreate(&record)) return 0;
  IsdRecordBuffers release(&record);
  isdParse(choice.image, choice.imageLength, &record);
  const IsdImage again = isdSerialize(&record);
  fuzzCheck(again.length == choice.imageLength &&
            std::equal(choice.image, choice.image + choice.imageLength, again.bytes.get()));
  return 0;
}
