// The viewer's record page: every field of the record in four labelled groups.
#include <string>

#include "fields/fields.h"
#include "fields/text.h"
#include "program/i18n.h"
#include "store/record.h"
#include "tui/panel.h"
#include "tui/screen.h"
#include "tui/tui.h"

namespace {

constexpr int HeadingColumn = 1;
constexpr int LabelColumn = 5;
constexpr int ValueColumn = 30;

class RecordPage {
 public:
  explicit RecordPage(const ImageSafeDataStruct& record) : record_(record) {}

  // The groups in the order of the table, each under its heading; the
  // record's version opens the first.
  void show() {
    for (std::size_t group = 0; group < FieldGroupCount; ++group) {
      row_ += group == 0 ? 0 : 2;
      place(tr(fieldGroupHeadings[group].screen), HeadingColumn);
      if (group == 0) line(tr("Version:"), std::to_string(record_.version));
      for (const FieldKeyword& row : fieldKeywords) {
        if (static_cast<std::size_t>(row.group) == group) field(row);
      }
    }
  }

 private:
  void place(const std::string& text, int column) {
    panelText(text.c_str(), row_, column, static_cast<short>(ColorSetFrame));
  }
  void line(const std::string& label, const std::string& value) {
    ++row_;
    place(label, LabelColumn);
    place(value, ValueColumn);
  }

  void field(const FieldKeyword& row) {
    switch (row.value) {
      case ValueKind::Flag:
        line(tr(row.screenLabel), (record_.flags & row.flagBit) != 0 ? "True " : "False");
        break;
      case ValueKind::Text: text(row); break;
      case ValueKind::Sid: line(tr(row.screenLabel), sidText(record_.sid)); break;
      case ValueKind::Dhcp:
        if (record_.DHCP != 0) {
          ++row_;
          place(tr(row.screenLabel), LabelColumn);
        }
        break;
      case ValueKind::Address:
        if (record_.DHCP == 0) line(tr(row.screenLabel), dottedQuad(record_.*row.address));
        break;
      case ValueKind::DnsServerCount:
        line(tr(row.screenLabel), std::to_string(record_.dnsServerCount));
        break;
      // A count above the 32 entries (from a damaged disk) lists all 32.
      case ValueKind::DnsServer:
        for (std::size_t i = 0; i < listedDnsServers(&record_); ++i) {
          line("DNS Server[" + std::to_string(i) + "]:", dottedQuad(record_.dnsServer[i]));
        }
        break;
    }
  }

  // A text that is not there shows "Not found". A row with a second label
  // (the object name) shows the part after the first "." on a line of its own.
  void text(const FieldKeyword& row) {
    const std::uint8_t* wide = fieldBuffer(row, &record_);
    const std::string value = hasFieldText(wide) ? fieldText(wide) : std::string(tr("Not found"));
    if (row.screenSecondLabel == nullptr) {
      line(tr(row.screenLabel), value);
      return;
    }
    const SplitName split = splitObjectName(value);
    line(tr(row.screenLabel), split.object);
    if (split.hasContext) line(tr(row.screenSecondLabel), split.context);
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
