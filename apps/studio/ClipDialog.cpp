#include "ClipDialog.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace studio {

QString ClipDialog::choose(QWidget* parent, const QString& title, const QString& folder) {
    QFileDialog dialog(parent, title, folder,
                       QObject::tr("Video (*.mp4 *.mov *.avi *.mkv *.webm *.ts *.m2ts *.mpg *.wmv);;All files (*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(980, 600);
    // Qt's own dialog (a desktop's native one lays itself out): the name takes
    // what the other columns leave, and they fit what they show.
    if (auto* view = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

}  // namespace studio
