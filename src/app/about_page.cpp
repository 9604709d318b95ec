#include "app/about_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/gradient_panel.h"
#include "widgets/status_icons.h"

namespace vantrel {
namespace {

constexpr int kLogoSize = 72;

QLabel* NamedLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  layout->addWidget(CreateBanner());

  auto* body = new QVBoxLayout();
  body->setContentsMargins(12, 8, 12, 0);
  auto* facts = new QFormLayout();
  version_ = NamedLabel("version", this);
  date_ = NamedLabel("date", this);
  facts->addRow("Version:", version_);
  facts->addRow("Date:", date_);
  body->addLayout(facts);
  company_ = NamedLabel("company", this);
  author_ = NamedLabel("author", this);
  body->addWidget(company_);
  body->addWidget(author_);
  body->addWidget(CreateFigures());
  body->addStretch();
  body->addWidget(CreateUpdateRow());
  layout->addLayout(body, 1);
}

QWidget* AboutPage::CreateBanner() {
  auto* banner = new GradientPanel(QColor(0x1c, 0x2e, 0x4a), QColor(0x4a, 0x6f, 0xa5), this);
  banner->setMinimumHeight(kLogoSize + 10);
  auto* row = new QHBoxLayout(banner);
  // The picture stands 10 pixels from the right edge and 5 from the top.
  row->setContentsMargins(16, 5, 10, 5);
  title_ = NamedLabel("title", banner);
  QFont font = title_->font();
  font.setPointSize(font.pointSize() * 2 + 4);
  font.setBold(true);
  title_->setFont(font);
  title_->setStyleSheet("color: white;");
  row->addWidget(title_, 1, Qt::AlignVCenter);
  logo_ = NamedLabel("logo", banner);
  logo_->setPixmap(DrawLogo(kLogoSize));
  row->addWidget(logo_, 0, Qt::AlignRight | Qt::AlignTop);
  return banner;
}

QWidget* AboutPage::CreateFigures() {
  auto* box = new QGroupBox("Statistics", this);
  auto* figures = new QFormLayout(box);
  online_ = NamedLabel("online", box);
  connections_ = NamedLabel("connections", box);
  sessions_ = NamedLabel("sessions", box);
  downloaded_ = NamedLabel("downloaded", box);
  uploaded_ = NamedLabel("uploaded", box);
  figures->addRow("Online:", online_);
  figures->addRow("Connections:", connections_);
  figures->addRow("Sessions:", sessions_);
  figures->addRow("Downloaded:", downloaded_);
  figures->addRow("Uploaded:", uploaded_);
  return box;
}

QWidget* AboutPage::CreateUpdateRow() {
  auto* row_widget = new QWidget(this);
  auto* row = new QHBoxLayout(row_widget);
  row->setContentsMargins(0, 0, 0, 0);
  update_server_ = new QLineEdit(row_widget);
  update_server_->setObjectName("updateServer");
  update_server_->setPlaceholderText("update server");
  update_server_->setToolTip("Server name to connect for checking updates");
  update_server_->setStatusTip(update_server_->toolTip());
  check_for_update_ = new QPushButton("Check for Update", row_widget);
  check_for_update_->setObjectName("checkForUpdate");
  check_for_update_->setToolTip("Check if update is available on specified server");
  check_for_update_->setStatusTip(check_for_update_->toolTip());
  auto* go_to = new QPushButton("Go to", row_widget);
  go_to->setObjectName("goTo");
  go_to->setToolTip("Open the server's web site");
  go_to->setStatusTip(go_to->toolTip());
  row->addWidget(update_server_, 1);
  row->addWidget(check_for_update_);
  row->addWidget(go_to);
  connect(check_for_update_, &QPushButton::clicked, this, &AboutPage::CheckForUpdateClicked);
  connect(go_to, &QPushButton::clicked, this, &AboutPage::GoToClicked);
  return row_widget;
}

void AboutPage::SetTitle(const QString& title) {
  title_->setText(title);
}

void AboutPage::SetVersion(const QString& version, const QString& date) {
  version_->setText(version);
  date_->setText(date);
}

void AboutPage::ApplyBranding(const std::optional<Branding>& branding) {
  if (!branding) {
    company_->clear();
    author_->clear();
    return;
  }
  if (branding->homepage) {
    update_server_->setText(QString::fromStdString(*branding->homepage));
    // The edit box takes the button's place: its layout stretch widens it.
    check_for_update_->hide();
  }
  if (branding->company)
    company_->setText(QString::fromStdString(*branding->company));
  if (branding->author)
    author_->setText(QString::fromStdString(*branding->author));
  if (branding->picture) {
    QPixmap picture;
    const auto& bytes = *branding->picture;
    if (picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                             static_cast<uint>(bytes.size())))
      logo_->setPixmap(picture);
  }
}

void AboutPage::ShowFigures(const AboutFigures& figures) {
  online_->setText(figures.online);
  connections_->setText(figures.connections);
  sessions_->setText(figures.sessions);
  downloaded_->setText(figures.downloaded);
  uploaded_->setText(figures.uploaded);
}

QString AboutPage::UpdateServer() const {
  return update_server_->text();
}

}  // namespace vantrel
