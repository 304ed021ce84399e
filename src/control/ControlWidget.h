#pragma once

#include "core/TrelvanExport.h"

#include "core/TvnError.h"

#include <QWidget>

namespace tvn {

// The widget the control is built on. It carries what a host may use beyond
// the documented interface, kept out of the control's own meta-object so that
// the dispatch interface (its properties, methods and eight events) stays
// exactly as documented.
class TVN_EXPORT ControlWidget : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    // A failure that no host call was there to receive, as it happens: a
    // worker's (a clip that cannot be decoded further during play, a lesson
    // conversion that failed), the reason of an upload that answered False,
    // or a notification handler's. It is also kept as the control's
    // lastNotificationError(). The documented events are raised as ever
    // (VideoEnd after a failed play, LessonCompressionComplete once after a
    // failed conversion), each after this signal.
    void failed(const tvn::TvnError& error);
};

}  // namespace tvn
