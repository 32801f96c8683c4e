// Which command-line texts go through the message catalogue: the editor's
// labels and "Unknown parameter" do; values, parser messages and the DNS
// refusal lines do not. Runs both front ends in-process over in-memory disks
// with a catalogue that marks every text it translates.
#include <gtest/gtest.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/frontends.h"
#include "program/program.h"
#include "store/disk.h"
#include "tests/store/fake_platform.h"

namespace {

const std::vector<std::string> Translated = {
    "   DEZE Just Imaged Flag set to ",
    "   DEZE Scripted Image Flag set to ",
    "   DEZE Last Base Image Restored set to",
    "   DEZE Workstation Object set to",
    "   DEZE Tree Name set to",
    "   DEZE Workstation NetBIOS Name set to",
    "   DEZE Workstation Workgroup set to",
    "   DEZE Windows Security ID set to",
    "   DEZE Workstation ID set to",
    "   DEZE DHCP Flag set to",
    "   DEZE Static IP Address set to",
    "   DEZE IP Gateway set to",
    "   DEZE IP Subnet Mask set to",
    "   DEZE DNS Server Count set to",
    "   DEZE DNS Name Server set to ",
    "   DEZE DNS Suffix set to",
    "   DEZE DNS Host Name set to",
    "Unknown parameter",
};
// Texts that must be shown as they stand; the catalogue offers them too.
const std::vector<std::string> Untranslated = {
    "Invalid SID -- Not enough fields or invalid separator\n",
    "   Could not set DNS name server.  (Invalid IP address.)\n",
    "True",
    "False",
    "On",
    "Off",
    "Lab",
    "Using DHCP, IP address not set",
};

void putU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A minimal GNU .mo file: sorted originals, no hash table.
void writeCatalogue(const std::string& path, const std::map<std::string, std::string>& texts) {
  const auto count = static_cast<std::uint32_t>(texts.size());
  const std::uint32_t dataStart = 28 + 16 * count;
  std::string tables, data;
  std::string targets;
  for (const auto& [original, translation] : texts) {
    putU32(tables, static_cast<std::uint32_t>(original.size()));
    putU32(tables, dataStart + static_cast<std::uint32_t>(data.size()));
    data += original + '\0';
  }
  for (const auto& [original, translation] : texts) {
    putU32(targets, static_cast<std::uint32_t>(translation.size()));
    putU32(targets, dataStart + static_cast<std::uint32_t>(data.size()));
    data += translation + '\0';
  }
  std::string out;
  for (std::uint32_t word : {0x950412DEu, 0u, count, 28u, 28u + 8 * count, 0u, 0u}) putU32(out, word);
  std::ofstream(path, std::ios::binary) << out << tables << targets << data;
}

class Catalogue : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/wexcli-mo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    const std::string folder = root_ + "/xx/LC_MESSAGES";
    ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
    std::map<std::string, std::string> texts;
    for (const std::string& text : Translated) texts[text] = "XX:" + text;
    for (const std::string& text : Untranslated) texts[text] = "WRONG";
    writeCatalogue(folder + "/wexedit.mo", texts);
    setenv("LANGUAGE", "xx", 1);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    bindtextdomain("wexedit", root_.c_str());
    textdomain("wexedit");
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }

  void SetUp() override {
    platform_.add("/dev/sda");
    scanDisks(platform_);
    isdLoad(&isdRecord);
  }

  void TearDown() override { isdRelease(&isdRecord); }

  static std::string run(int (*frontEnd)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    frontEnd(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  static inline std::string root_;
  FakePlatform platform_;
};

TEST_F(Catalogue, EditorLabelsAndUnknownParameterAreLookedUpAndNothingElse) {
  ToolMode = ToolModeEditor;
  ToolOptions = {};
  const std::string printed = run(runEditorCommandLine, {"J=t",
                                                         "SC=false",
                                                         "L=Lab",
                                                         "O=Lab",
                                                         "T=Lab",
                                                         "N=Lab",
                                                         "WorkG=Lab",
                                                         "SI=1-2-3-4-5",
                                                         "Works=Lab",
                                                         "DH=On",
                                                         "I=1.2.3.4",
                                                         "Gateway=1.2.3.4",
                                                         "M=1.2.3.4",
                                                         "DNSServerC=1",
                                                         "DNSServer1=1.2.3.4",
                                                         "DNSServer1=1.2.3.999",
                                                         "DNSSu=Lab",
                                                         "DNSH=Lab",
                                                         "SI=1-2",
                                                         "Foo"});
  EXPECT_EQ(printed,
            "XX:   DEZE Just Imaged Flag set to  'true'\n"
            "XX:   DEZE Scripted Image Flag set to  'false'\n"
            "XX:   DEZE Last Base Image Restored set to 'Lab'\n"
            "XX:   DEZE Workstation Object set to 'Lab'\n"
            "XX:   DEZE Tree Name set to 'Lab'\n"
            "XX:   DEZE Workstation NetBIOS Name set to 'Lab'\n"
            "XX:   DEZE Workstation Workgroup set to 'Lab'\n"
            "XX:   DEZE Windows Security ID set to '1-2-3-4-5'\n"
            "XX:   DEZE Workstation ID set to 'Lab'\n"
            "XX:   DEZE DHCP Flag set to 'On'\n"
            "XX:   DEZE Static IP Address set to '1.2.3.4'\n"
            "XX:   DEZE IP Gateway set to '1.2.3.4'\n"
            "XX:   DEZE IP Subnet Mask set to '1.2.3.4'\n"
            "XX:   DEZE DNS Server Count set to '1'\n"
            "XX:   DEZE DNS Name Server set to  '1.2.3.4'\n"
            "   Could not set DNS name server.  (Invalid IP address.)\n"
            "XX:   DEZE DNS Suffix set to 'Lab'\n"
            "XX:   DEZE DNS Host Name set to 'Lab'\n"
            "Invalid SID -- Not enough fields or invalid separator\n"
            "XX:Unknown parameter (19): 'Foo'\n");
}

TEST_F(Catalogue, ViewerValuesStayAsTheyAreAndOnlyUnknownParameterIsLookedUp) {
  ToolMode = ToolModeViewer;
  ToolOptions = {};
  isdRecord.DHCP = 1;
  EXPECT_EQ(run(runViewerCommandLine, {"J", "DH", "IP", "Foo"}),
            "False\nOn\nUsing DHCP, IP address not set\nXX:Unknown parameter (3): 'Foo'\n");
}

}  // namespace
