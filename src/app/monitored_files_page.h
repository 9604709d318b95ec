#pragma once

// The "File Monitoring" tab: the monitored files with their download counts, and the
// buttons that add a file, remove one and clear its figures. Changes go to the service's
// list of monitored files, by the file's name, and are logged; the list is saved when the
// program closes.

#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

#include "common/column_sort.h"

class QLayout;
class QString;

namespace vantrel {

class ColumnListView;
class DialogPrompts;
class Service;
class SpecialFiles;

// Owned by the main window's tabs; main thread only.
class MonitoredFilesPage : public QWidget {
  Q_OBJECT

 public:
  MonitoredFilesPage(Service& service, DialogPrompts& prompts, QWidget* parent = nullptr);

  // Shows a fresh copy of the list, in the order the header clicks give it.
  void Refresh();

  // The buttons' work, after their dialogs; public so that a test can run them. A file is
  // monitored by its bare name, wherever it was chosen.
  void AddFile(const QString& path);
  void RemoveSelectedFile();
  void ResetSelectedFile();

  ColumnListView& list() const { return *list_; }

 private:
  // A log line around the file's name.
  struct LogLine {
    std::string before;
    std::string after;
  };

  QLayout* CreateButtons();
  void ChooseFileToAdd();
  // Applies `change` to the selected file, logs how it went and shows the list again.
  void ChangeSelected(bool (SpecialFiles::*change)(std::string_view), const LogLine& done,
                      const LogLine& failed);
  void SortBy(int column);
  void Log(const std::string& line);

  Service& service_;
  DialogPrompts& prompts_;
  ColumnListView* list_;
  ColumnSort sort_;
};

}  // namespace vantrel
