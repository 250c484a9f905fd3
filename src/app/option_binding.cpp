#include "app/option_binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <stdexcept>

#include "app/form_util.h"
#include "app/widgets.h"
#include "settings/ini_file.h"
#include "settings/option_schema.h"

namespace folivant {

namespace {

// The control of a bound option; a row naming a control the window lacks is a mistake.
QWidget* ControlOf(const QWidget& root, const OptionRow& row) {
  auto* w = root.findChild<QWidget*>(QString::fromLatin1(row.Control));
  if (!w) throw std::logic_error(std::string("no control ") + row.Control + " for " + row.Key);
  return w;
}

bool Bound(const OptionRow& row) {
  return row.Control && row.Type != OptionType::Color;
}

}  // namespace

void ShowOptions(QWidget& root, const SettingsRecord& record) {
  for (const OptionRow& row : OptionRows()) {
    if (!Bound(row)) continue;
    QWidget* w = ControlOf(root, row);
    const std::string text = OptionText(row, record);
    const int number = TryStrToInt(text).value_or(0);
    if (auto* spin = qobject_cast<TUpDown*>(w))
      spin->SetPosition(number);
    else if (auto* box = qobject_cast<QCheckBox*>(w))
      box->setChecked(number != 0);
    else if (auto* list = qobject_cast<QComboBox*>(w))
      list->setCurrentIndex(row.Type == OptionType::Choice ? record.*row.Int : number);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
      edit->setText(Q(text));
  }
}

void GatherOptions(const QWidget& root, SettingsRecord& record) {
  for (const OptionRow& row : OptionRows()) {
    if (!Bound(row)) continue;
    const QWidget* w = ControlOf(root, row);
    std::string text;
    if (const auto* spin = qobject_cast<const TUpDown*>(w))
      text = std::to_string(spin->Position());
    else if (const auto* box = qobject_cast<const QCheckBox*>(w))
      text = std::to_string(box->isChecked() ? 1 : 0);
    else if (const auto* list = qobject_cast<const QComboBox*>(w))
      text = std::to_string(list->currentIndex());
    else if (const auto* edit = qobject_cast<const QLineEdit*>(w))
      text = S(edit->text());
    if (row.Str)
      record.*row.Str = text;  // a field's text as typed: the build names a bad number
    else
      SetOptionText(row, record, text);
  }
}

TUpDown* OptionSpinner(QLineEdit* field, const char* key, QWidget* parent) {
  const OptionRow* row = FindOption(key);
  if (!row) throw std::logic_error(std::string("no option ") + key);
  return new TUpDown(field, row->Min, row->Max, TryStrToInt(row->Default).value_or(row->Min),
                     parent);
}

}  // namespace folivant
