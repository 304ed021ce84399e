#pragma once

#include <QString>

class QWidget;

namespace studio {

// The dialog that picks a clip: the video files first, in a detail view wide
// enough that the name, size, type and date columns read whole.
class ClipDialog {
public:
    // The file chosen, or an empty name when the coach cancelled.
    static QString choose(QWidget* parent, const QString& title, const QString& folder);
};

}  // namespace studio
