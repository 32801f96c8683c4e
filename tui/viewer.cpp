// The viewer's record page: every field of the record in four labelled groups.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/i18n.h"
#include "store/record.h"
#include "tui/panel.h"
#include "tui/screen.h"
#include "tui/text.h"
#include "tui/tui.h"

namespace {

constexpr int HeadingColumn = 1;
constexpr int LabelColumn = 5;
constexpr int ValueColumn = 30;

class RecordPage {
 public:
  explicit RecordPage(const ImageSafeDataStruct& record) : record_(record) {}

  void show() {
    imageGroup();
    identityGroup();
    ipGroup();
    dnsGroup();
  }

 private:
  void place(const std::string& text, int column) {
    panelText(text.c_str(), row_, column, static_cast<short>(SlotFrame));
  }
  void heading(int advance, const char* text) {
    row_ += advance;
    place(tr(text), HeadingColumn);
  }
  void line(const char* label, const std::string& value) {
    ++row_;
    place(tr(label), LabelColumn);
    place(value, ValueColumn);
  }
  void textLine(const char* label, const std::uint8_t* wide) {
    const std::string text = recordText(wide);
    line(label, text.empty() ? std::string(tr("Not found")) : text);
  }
  static const char* truth(bool value) { return value ? "True " : "False"; }

  void imageGroup() {
    heading(0, "Image-safe data:");
    line("Version:", std::to_string(record_.version));
    line("Just imaged:", truth((record_.flags & IsdFlagJustImaged) != 0));
    line("Last image a script:", truth((record_.flags & IsdFlagScriptedImage) != 0));
    textLine("Last image restored:", record_.lastBaseImage);
  }

  void identityGroup() {
    heading(2, "Workstation Identity Information:");
    std::string name = recordText(record_.wsDN);
    if (name.empty()) name = tr("Not found");
    const SplitName split = splitObjectName(name);
    line("Workstation Object:", split.object);
    if (split.hasContext) line("Workstation Context:", split.context);
    textLine("Preferred Tree:", record_.wsTree);
    textLine("NetBios Name:", record_.netbiosName);
    textLine("Workgroup:", record_.workgroup);
    char sid[64];
    std::snprintf(sid, sizeof sid, "%u-%u-%u-%u-%u", record_.sid[0], record_.sid[1], record_.sid[2],
                  record_.sid[3], record_.sid[4]);
    line("Windows SID:", sid);
    textLine("Workstation ID:", record_.wsID);
  }

  void ipGroup() {
    heading(2, "Production IP Information:");
    if (record_.DHCP != 0) {
      ++row_;
      place(tr("Uses DHCP"), LabelColumn);
      return;
    }
    line("IP address:", dottedQuad(record_.ipAddress));
    line("Default Gateway:", dottedQuad(record_.gateway));
    line("Subnet mask:", dottedQuad(record_.subnet));
  }

  void dnsGroup() {
    heading(2, "Production DNS Information:");
    line("DNS Servers:", std::to_string(record_.dnsServerCount));
    // A count above the 32 entries (from a damaged disk) lists all 32.
    const std::size_t shown = std::min<std::size_t>(record_.dnsServerCount, IsdDnsServerSlots);
    for (std::size_t i = 0; i < shown; ++i) {
      const std::string label = "DNS Server[" + std::to_string(i) + "]:";
      ++row_;
      place(label, LabelColumn);
      place(dottedQuad(record_.dnsServer[i]), ValueColumn);
    }
    textLine("DNS Suffix:", record_.dnsSuffix);
    textLine("DNS Hostname:", record_.dnsHostname);
  }

  const ImageSafeDataStruct& record_;
  int row_ = PanelFirstRow;
};

}  // namespace

void showRecordScreen(const ImageSafeDataStruct* record) {
  panelOpen();
  if (record == nullptr) return;
  RecordPage(*record).show();
}
