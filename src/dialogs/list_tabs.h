#pragma once

// The settings dialog's tabs that are mostly one list editor and hold no state of their
// own: "Web Interface" (the administrators), "Banned List" (with the auto-ban limits) and
// "File Control" (the extensions nobody may upload). The web tab also holds the metrics'
// switch and the addresses they are served to. Each control is bound to its setting
// through `fields`.

#include <QString>

class QWidget;

namespace vantrel {

class SettingsFields;
struct SettingsData;

QWidget* CreateWebTab(SettingsFields& fields, QWidget* parent);
// What is wrong with the web tab's values in `edited`; empty when nothing is.
QString WebTabValidationFailure(const SettingsData& edited);
QWidget* CreateBannedTab(SettingsFields& fields, QWidget* parent);
QWidget* CreateFileControlTab(SettingsFields& fields, QWidget* parent);

}  // namespace vantrel
