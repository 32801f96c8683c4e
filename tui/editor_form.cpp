// The editor's form: object name and context, tree, NetBIOS name, workgroup,
// last image, the DHCP choice and the static addresses, saved by "OK".
#include "tui/editor_form.h"

#include <newt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/fields.h"
#include "cli/i18n.h"
#include "tui/text.h"
#include "tui/tui.h"

namespace {

constexpr int LabelColumn = 1;
constexpr int EntryColumn = 30;
constexpr int RadioColumn = 26;
constexpr int WideEntry = 40;
constexpr int AddressEntry = 15;

struct FormEntries {
  newtComponent object, context, tree, netbiosName, workgroup, lastImage;
  newtComponent dhcp, staticAddress;
  newtComponent address, gateway, mask;
  newtComponent ok, cancel;
};

std::string entryText(newtComponent entry) {
  const char* value = newtEntryGetValue(entry);
  return value != nullptr ? std::string(value) : std::string();
}

// Label and entry on one row, both added to the form in that order.
newtComponent labelledEntry(newtComponent form, int row, const char* label, const std::string& value,
                            int width, int flags) {
  newtFormAddComponent(form, newtLabel(LabelColumn, row, tr(label)));
  newtComponent entry = newtEntry(EntryColumn, row, value.c_str(), width, nullptr, flags);
  newtFormAddComponent(form, entry);
  return entry;
}

FormEntries buildForm(newtComponent form, const ImageSafeDataStruct& record) {
  FormEntries e{};
  std::string name = recordText(record.wsDN);
  if (name.empty()) name = tr("Not found");
  const SplitName split = splitObjectName(name);

  newtFormAddComponent(form, newtLabel(LabelColumn, 0, tr("Image-safe data:")));
  e.object = labelledEntry(form, 1, "Workstation Object:", split.object, WideEntry, NEWT_FLAG_SCROLL);
  e.context = labelledEntry(form, 2, "Workstation Context:", split.context, WideEntry, NEWT_FLAG_SCROLL);
  e.tree = labelledEntry(form, 3, "Preferred Tree:", recordText(record.wsTree), 33, 0);
  e.netbiosName = labelledEntry(form, 4, "NetBios Name:", recordText(record.netbiosName), 16, 0);
  e.workgroup = labelledEntry(form, 5, "Workgroup:", recordText(record.workgroup), 16, 0);
  e.lastImage = labelledEntry(form, 6, "Last image restored:", recordText(record.lastBaseImage), WideEntry,
                              NEWT_FLAG_SCROLL);

  newtFormAddComponent(form, newtLabel(LabelColumn, 8, tr("Production IP information:")));
  e.dhcp = newtRadiobutton(RadioColumn, 9, tr("Uses DHCP"), record.DHCP != 0, nullptr);
  e.staticAddress = newtRadiobutton(RadioColumn, 10, tr("Static IP address"), record.DHCP == 0, e.dhcp);
  newtFormAddComponent(form, e.dhcp);
  newtFormAddComponent(form, e.staticAddress);

  e.address = labelledEntry(form, 12, "IP Address:", dottedQuad(record.ipAddress), AddressEntry, 0);
  e.gateway = labelledEntry(form, 13, "Default gateway:", dottedQuad(record.gateway), AddressEntry, 0);
  e.mask = labelledEntry(form, 14, "Subnet mask:", dottedQuad(record.subnet), AddressEntry, 0);

  e.ok = newtCompactButton(0, 16, tr("OK"));
  e.cancel = newtCompactButton(10, 16, tr("Cancel"));
  newtFormAddComponent(form, e.ok);
  newtFormAddComponent(form, e.cancel);
  return e;
}

// The entries' texts, copied out before the form frees its components.
EditorFormValues readForm(const FormEntries& e) {
  EditorFormValues values;
  values.object = entryText(e.object);
  values.context = entryText(e.context);
  values.tree = entryText(e.tree);
  values.netbiosName = entryText(e.netbiosName);
  values.workgroup = entryText(e.workgroup);
  values.lastImage = entryText(e.lastImage);
  values.dhcp = newtRadioGetCurrent(e.dhcp) == e.dhcp;
  values.address = entryText(e.address);
  values.gateway = entryText(e.gateway);
  values.mask = entryText(e.mask);
  return values;
}

}  // namespace

void storeFormText(std::uint8_t* buffer, std::size_t capacity, const std::string& text) {
  if (buffer == nullptr || capacity < 2) return;
  const std::size_t most = capacity / 2 - 1;
  const std::string kept = text.substr(0, std::min(most, text.size()));
  std::vector<std::uint8_t> wide(2 * kept.size() + 2);
  narrowToWide(wide.data(), kept.c_str());
  std::memset(buffer, 0, capacity);
  std::memcpy(buffer, wide.data(), wideLength(wide.data()) + 2);
}

void applyEditorForm(const EditorFormValues& values, ImageSafeDataStruct* record) {
  record->DHCP = values.dhcp ? 1 : 0;
  const std::string name = values.context.empty() ? values.object : values.object + "." + values.context;
  storeFormText(record->wsDN, IsdCapWsDN, name);
  storeFormText(record->wsTree, IsdCapWsTree, values.tree);
  storeFormText(record->netbiosName, IsdCapNetbiosName, values.netbiosName);
  storeFormText(record->workgroup, IsdCapWorkgroup, values.workgroup);
  storeFormText(record->lastBaseImage, IsdCapLastBaseImage, values.lastImage);
  parseDottedQuad(values.address.c_str(), record->ipAddress);
  parseDottedQuad(values.gateway.c_str(), record->gateway);
  parseDottedQuad(values.mask.c_str(), record->subnet);
}

void runEditorForm(ImageSafeDataStruct* record, std::int32_t* saveRequested) {
  newtPushHelpLine(tr("Press TAB between fields."));
  newtComponent form = newtForm(nullptr, nullptr, 0);
  const FormEntries entries = buildForm(form, *record);
  newtCenteredWindow(72, 17, tr("Image-safe data"));
  newtExitStruct exit{};
  newtFormRun(form, &exit);
  if (exit.reason == newtExitStruct::NEWT_EXIT_COMPONENT && exit.u.co == entries.ok) {
    applyEditorForm(readForm(entries), record);
    *saveRequested = 1;
  }
  newtFormDestroy(form);
  newtPopWindow();
  newtRefresh();
  newtPopHelpLine();
}
