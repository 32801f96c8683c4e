// Runs one full-screen page of the interface for the screen tests:
//   tui_driver <editor|viewer> <screen> [image file] [result file]
// The role sets the title bar and the help dispatch. The record comes from a
// stored image (parsed as a load would) or is the empty record. For "form",
// the result file receives the saveRequested flag on its first line and,
// when the flag is set, the serialised record after it.
#include <libintl.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "program/program.h"
#include "store/format.h"
#include "store/record.h"
#include "tui/tui.h"

namespace {

constexpr std::int32_t UntouchedFlag = 7;  // neither 0 nor the 1 that "OK" sets

bool loadImage(const char* path, ImageSafeDataStruct* record) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  isdParse(image.data(), image.size(), record);
  return true;
}

bool writeResult(const char* path, std::int32_t flag, ImageSafeDataStruct* record) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  std::fprintf(out, "%d\n", flag);
  IsdImage image = isdSerialize(record);
  if (image.bytes) std::fwrite(image.bytes.get(), 1, image.length, out);
  return std::fclose(out) == 0;
}

int runScreen(const char* screen, ImageSafeDataStruct* record, const char* resultPath) {
  if (std::strcmp(screen, "help") == 0) {
    showHelp();
  } else if (std::strcmp(screen, "viewer") == 0) {
    tuiOpen();
    showRecordScreen(record);
    tuiClose();
  } else if (std::strcmp(screen, "form") == 0) {
    std::int32_t flag = UntouchedFlag;
    tuiOpen();
    runEditorForm(record, &flag);
    tuiClose();
    if (resultPath != nullptr && !writeResult(resultPath, flag, record)) return 3;
  } else {
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tui_driver <editor|viewer> <help|viewer|form> [image] [result]\n");
    return 2;
  }
  // A test catalogue, when given, stands in for the installed translations.
  if (const char* catalogues = std::getenv("TUI_CATALOG_DIR")) {
    std::setlocale(LC_ALL, "");
    bindtextdomain("wexedit", catalogues);
    textdomain("wexedit");
  }
  ToolMode = std::strcmp(argv[1], "editor") == 0 ? ToolModeEditor : ToolModeViewer;
  IsdRecordBuffers guard(&isdRecord);
  if (!isdCreate(&isdRecord)) return 3;
  const char* imagePath = argc > 3 && argv[3][0] != '\0' ? argv[3] : nullptr;
  if (imagePath != nullptr && !loadImage(imagePath, &isdRecord)) return 3;
  return runScreen(argv[2], &isdRecord, argc > 4 ? argv[4] : nullptr);
}
