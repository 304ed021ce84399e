#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace studio {

// Asks where to upload the current frame: server (a host name for FTP, or a URL
// such as sftp://host or https://host/upload), user, password, remote folder,
// file name, port and JPEG quality.
class UploadDialog : public QDialog {
    Q_OBJECT
public:
    explicit UploadDialog(QWidget* parent);

    QString server() const;
    QString user() const;
    QString password() const;
    QString path() const;
    QString fileName() const;
    int port() const;
    int quality() const;

private:
    QLineEdit *server_, *user_, *password_, *path_, *fileName_;
    QSpinBox *port_, *quality_;
};

}  // namespace studio
