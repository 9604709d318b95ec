#pragma once

// The settings dialog's tabs that are mostly one list editor and hold no state of their
// own: "Web Interface" (the administrators), "Banned List" (with the auto-ban limits) and
// "File Control" (the extensions nobody may upload). Each control is bound to its setting
// through `fields`.

class QWidget;

namespace vantrel {

class SettingsFields;

QWidget* CreateWebTab(SettingsFields& fields, QWidget* parent);
QWidget* CreateBannedTab(SettingsFields& fields, QWidget* parent);
QWidget* CreateFileControlTab(SettingsFields& fields, QWidget* parent);

}  // namespace vantrel
