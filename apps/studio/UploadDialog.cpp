#include "UploadDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace studio {

UploadDialog::UploadDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Upload frame"));
    auto* form = new QFormLayout(this);
    server_ = new QLineEdit(this);
    server_->setPlaceholderText(QStringLiteral("ftp.example.org or sftp://host"));
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    path_ = new QLineEdit(QStringLiteral("/"), this);
    fileName_ = new QLineEdit(QStringLiteral("frame.jpg"), this);
    port_ = new QSpinBox(this);
    port_->setRange(0, 65535);
    port_->setValue(21);
    quality_ = new QSpinBox(this);
    quality_->setRange(1, 100);
    quality_->setValue(85);
    form->addRow(tr("Server"), server_);
    form->addRow(tr("User"), user_);
    form->addRow(tr("Password"), password_);
    form->addRow(tr("Remote folder"), path_);
    form->addRow(tr("File name"), fileName_);
    form->addRow(tr("Port"), port_);
    form->addRow(tr("JPEG quality"), quality_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QString UploadDialog::server() const { return server_->text(); }
QString UploadDialog::user() const { return user_->text(); }
QString UploadDialog::password() const { return password_->text(); }
QString UploadDialog::path() const { return path_->text(); }
QString UploadDialog::fileName() const { return fileName_->text(); }
int UploadDialog::port() const { return port_->value(); }
int UploadDialog::quality() const { return quality_->value(); }

}  // namespace studio
