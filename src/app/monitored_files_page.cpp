#include "app/monitored_files_page.h"

#include <QFileInfo>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_prompts.h"
#include "log/log_queue.h"
#include "monitor/special_files.h"
#include "service/service.h"
#include "widgets/column_list_view.h"
#include "widgets/controls.h"

namespace vantrel {

MonitoredFilesPage::MonitoredFilesPage(Service& service, DialogPrompts& prompts, QWidget* parent)
    : QWidget(parent),
      service_(service),
      prompts_(prompts),
      list_(new ColumnListView({{"Filename", 200}, {"Count", 50}, {"Date", 140}, {"Last Ip", 115}},
                               this)) {
  list_->setObjectName("monitored");
  list_->SetClearSelectionOnRightRelease(true);
  connect(list_, &ColumnListView::HeaderClicked, this, &MonitoredFilesPage::SortBy);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(CreateButtons());
  layout->addWidget(list_, 1);
}

QLayout* MonitoredFilesPage::CreateButtons() {
  auto* add = NamedButton("Add File", "addFile", this, "Add file to monitored files list");
  auto* remove = NamedButton("Remove File", "removeFile", this,
                             "Remove selected item from monitored files list");
  auto* reset = NamedButton("Reset Data", "resetData", this, "Reset selected file data");
  connect(add, &QPushButton::clicked, this, &MonitoredFilesPage::ChooseFileToAdd);
  connect(remove, &QPushButton::clicked, this, &MonitoredFilesPage::RemoveSelectedFile);
  connect(reset, &QPushButton::clicked, this, &MonitoredFilesPage::ResetSelectedFile);
  return ButtonRow({add, remove, reset});
}

void MonitoredFilesPage::Refresh() {
  std::vector<SpecialFile> rows = service_.special_files().Records();
  sort_.Apply(rows, SortSpecialFiles);
  list_->ShowRows(rows, SpecialFileCells);
}

void MonitoredFilesPage::SortBy(int column) {
  sort_.Click(column);
  Refresh();
}

void MonitoredFilesPage::ChooseFileToAdd() {
  const QString path = prompts_.OpenFileName(this, {"Add File", "", "", "All files (*)", ""});
  if (!path.isEmpty())
    AddFile(path);
}

void MonitoredFilesPage::AddFile(const QString& path) {
  const std::string name = QFileInfo(path).fileName().toStdString();
  if (service_.special_files().Add(name))
    Log("- New file to monitor added (" + name + ")");
  else
    Log("- Failed to add new file to monitor (" + name + ")");
  Refresh();
}

void MonitoredFilesPage::RemoveSelectedFile() {
  ChangeSelected(&SpecialFiles::Remove, {"- File ", " removed from monitoring list"},
                 {"- Failed to remove file ", " from monitor list"});
}

void MonitoredFilesPage::ResetSelectedFile() {
  ChangeSelected(&SpecialFiles::Reset, {"- Monitored file ", " statistics cleared"},
                 {"- Failed to reset monitored file ", ""});
}

void MonitoredFilesPage::ChangeSelected(bool (SpecialFiles::*change)(std::string_view),
                                        const LogLine& done, const LogLine& failed) {
  const std::optional<std::string> name = list_->SelectedField(0);
  if (!name)
    return;
  const LogLine& line = (service_.special_files().*change)(*name) ? done : failed;
  Log(line.before + *name + line.after);
  Refresh();
}

void MonitoredFilesPage::Log(const std::string& line) {
  service_.log().LogLine(line);
}

}  // namespace vantrel
