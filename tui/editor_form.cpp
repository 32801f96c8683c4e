// The editor's form: the fields of the table that have a place on it (object
// name and context, tree, NetBIOS name, workgroup, last image, the DHCP
// choice and the static addresses), saved by "OK".
#include <newt.h>

#include <string>
#include <vector>

#include "fields/fields.h"
#include "fields/text.h"
#include "fields/values.h"
#include "program/i18n.h"
#include "tui/tui.h"

namespace {

constexpr int LabelColumn = 1;
constexpr int EntryColumn = 30;
constexpr int RadioColumn = 26;
constexpr int ButtonRow = 16;
constexpr int WindowWidth = 72;
constexpr int WindowHeight = ButtonRow + 1;

// Labels of the form that belong to no field.
struct FormHeading {
  int row;
  const char* text;
};
constexpr FormHeading FormHeadings[] = {
    {0, N_("Image-safe data:")},
    {8, N_("Production IP information:")},
};

// One field on the form: its entry (or the first radio button), and the
// context entry of the object name (or the second radio button), with the
// texts they were given.
struct FormField {
  const FieldKeyword* field;
  newtComponent first;
  newtComponent second;
  std::string shownFirst;
  std::string shownSecond;
};

struct Form {
  std::vector<FormField> fields;
  newtComponent ok;
  newtComponent cancel;
};

// What the user left in one field, copied out before the form frees its components.
struct FormValue {
  const FieldKeyword* field;
  std::string first;
  std::string second;
  bool firstChosen;
  bool changed;  // the user changed the text of an entry
};

const char* formLabel(const FieldKeyword& field) {
  return tr(field.form.label != nullptr ? field.form.label : field.screenLabel);
}

const char* formSecondLabel(const FieldKeyword& field) {
  return tr(field.form.secondLabel != nullptr ? field.form.secondLabel : field.screenSecondLabel);
}

std::string entryText(newtComponent entry) {
  const char* value = newtEntryGetValue(entry);
  return value != nullptr ? std::string(value) : std::string();
}

// Label and entry on one row, both added to the form in that order.
newtComponent labelledEntry(newtComponent form, int row, const char* label, const std::string& value,
                            const FieldForm& place) {
  newtFormAddComponent(form, newtLabel(LabelColumn, row, label));
  newtComponent entry =
      newtEntry(EntryColumn, row, value.c_str(), place.width, nullptr, place.scroll ? NEWT_FLAG_SCROLL : 0);
  newtFormAddComponent(form, entry);
  return entry;
}

FormField addField(newtComponent form, const FieldKeyword& field, const ImageSafeDataStruct& record) {
  const int row = field.form.row;
  FormField added{&field, nullptr, nullptr, {}, {}};
  switch (field.value) {
    case ValueKind::Text: {
      const std::uint8_t* wide = fieldBuffer(field, &record);
      if (field.screenSecondLabel == nullptr) {
        added.shownFirst = fieldText(wide);
        added.first = labelledEntry(form, row, formLabel(field), added.shownFirst, field.form);
        break;
      }
      const std::string name = hasFieldText(wide) ? fieldText(wide) : std::string(tr("Not found"));
      const SplitName split = splitObjectName(name);
      added.shownFirst = split.object;
      added.shownSecond = split.context;
      added.first = labelledEntry(form, row, formLabel(field), split.object, field.form);
      added.second = labelledEntry(form, row + 1, formSecondLabel(field), split.context, field.form);
      break;
    }
    case ValueKind::Dhcp:
      added.first = newtRadiobutton(RadioColumn, row, formLabel(field), record.DHCP != 0, nullptr);
      added.second =
          newtRadiobutton(RadioColumn, row + 1, formSecondLabel(field), record.DHCP == 0, added.first);
      newtFormAddComponent(form, added.first);
      newtFormAddComponent(form, added.second);
      break;
    case ValueKind::Address:
      added.first = labelledEntry(form, row, formLabel(field), dottedQuad(record.*field.address), field.form);
      break;
    default: break;
  }
  return added;
}

// The components row by row, in the Tab order of the screen.
Form buildForm(newtComponent form, const ImageSafeDataStruct& record) {
  Form built{};
  for (int row = 0; row < ButtonRow; ++row) {
    for (const FormHeading& heading : FormHeadings) {
      if (heading.row == row) newtFormAddComponent(form, newtLabel(LabelColumn, row, tr(heading.text)));
    }
    for (const FieldKeyword& field : fieldKeywords) {
      if (field.form.row == row && row > 0) built.fields.push_back(addField(form, field, record));
    }
  }
  built.ok = newtCompactButton(0, ButtonRow, tr("OK"));
  built.cancel = newtCompactButton(10, ButtonRow, tr("Cancel"));
  newtFormAddComponent(form, built.ok);
  newtFormAddComponent(form, built.cancel);
  return built;
}

// The object entry still showing the placeholder of a record without an
// object name stands for no name: the placeholder is never stored.
std::vector<FormValue> readForm(const Form& form, const ImageSafeDataStruct& record) {
  std::vector<FormValue> values;
  for (const FormField& added : form.fields) {
    const FieldKeyword& field = *added.field;
    FormValue value{&field, {}, {}, false, false};
    if (field.value == ValueKind::Dhcp) {
      value.firstChosen = newtRadioGetCurrent(added.first) == added.first;
    } else {
      value.first = entryText(added.first);
      if (added.second != nullptr) value.second = entryText(added.second);
      value.changed = value.first != added.shownFirst || value.second != added.shownSecond;
      const bool placeholder =
          field.screenSecondLabel != nullptr && !hasFieldText(fieldBuffer(field, &record));
      if (placeholder && value.first == tr("Not found")) value.first.clear();
    }
    values.push_back(value);
  }
  return values;
}

// The first address entry whose text is not an address, or null.
const FormField* firstInvalidAddress(const Form& form, const std::vector<FormValue>& values) {
  std::uint8_t address[4] = {};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const bool isAddress = values[i].field->value == ValueKind::Address;
    if (isAddress && !parseDottedQuad(values[i].first.c_str(), address)) return &form.fields[i];
  }
  return nullptr;
}

// Names the field and its text in a message window; the form stays open.
void showInvalidAddress(const FieldKeyword& field, const std::string& text) {
  std::string title = tr("Invalid address");
  std::string button = tr("OK");
  std::string message = std::string(formLabel(field)) + " " + text + "\n\n" +
                        tr("Enter four numbers from 0 to 255 joined by dots, such as 10.0.0.5.");
  char format[] = "%s";
  newtWinMessage(title.data(), button.data(), format, message.c_str());
}

// The form writes the object name joined from its two entries, the other
// texts, the DHCP choice and the addresses (all of which firstInvalidAddress
// has accepted). A text the user left as shown keeps the record's own text:
// an entry cannot hold every 16-bit unit another program may have stored (a
// letter above 0xFF outside UTF-8 locales, a lone surrogate shown as U+FFFD),
// and writing the entry back would change such a text without anyone asking.
void applyForm(const std::vector<FormValue>& values, ImageSafeDataStruct* record) {
  for (const FormValue& value : values) {
    const FieldKeyword& field = *value.field;
    switch (field.value) {
      case ValueKind::Text: {
        if (!value.changed) break;
        const bool joined = field.screenSecondLabel != nullptr && !value.second.empty();
        storeFieldText(fieldBuffer(field, record), field.capacity,
                       joined ? value.first + "." + value.second : value.first);
        break;
      }
      case ValueKind::Dhcp: record->DHCP = value.firstChosen ? 1 : 0; break;
      case ValueKind::Address: parseDottedQuad(value.first.c_str(), record->*field.address); break;
      default: break;
    }
  }
}

}  // namespace

void runEditorForm(ImageSafeDataStruct* record, std::int32_t* saveRequested) {
  newtPushHelpLine(tr("Press TAB between fields."));
  newtComponent form = newtForm(nullptr, nullptr, 0);
  const Form built = buildForm(form, *record);
  newtCenteredWindow(WindowWidth, WindowHeight, tr("Image-safe data"));
  // "OK" with an address that is not one names it and goes back to it.
  for (;;) {
    newtExitStruct exit{};
    newtFormRun(form, &exit);
    if (exit.reason != newtExitStruct::NEWT_EXIT_COMPONENT || exit.u.co != built.ok) break;
    const std::vector<FormValue> values = readForm(built, *record);
    const FormField* invalid = firstInvalidAddress(built, values);
    if (invalid == nullptr) {
      applyForm(values, record);
      *saveRequested = 1;
      break;
    }
    showInvalidAddress(*invalid->field, entryText(invalid->first));
    newtFormSetCurrent(form, invalid->first);
  }
  newtFormDestroy(form);
  newtPopWindow();
  newtRefresh();
  newtPopHelpLine();
}
