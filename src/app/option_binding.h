// The window's side of the option schema: each option's control, found by its objectName,
// shows the record's value and gives it back. The colour pickers are the window's own: a
// colour text that is no colour stays as the picker's text while the picker keeps its colour.
#pragma once

class QLineEdit;
class QWidget;

namespace folivant {

class TUpDown;
struct SettingsRecord;

// Sets every bound control under root from record.
void ShowOptions(QWidget& root, const SettingsRecord& record);
// Takes every bound control's value under root into record.
void GatherOptions(const QWidget& root, SettingsRecord& record);
// The spinner of field with the limits and the default of the option key.
TUpDown* OptionSpinner(QLineEdit* field, const char* key, QWidget* parent);

}  // namespace folivant
