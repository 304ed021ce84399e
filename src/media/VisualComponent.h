#pragma once

#include "core/TvnError.h"

#include <QObject>

class QWidget;

namespace tvn {

// A component the control places on itself: it shows itself in a widget and is
// placed and shown by its container. Placement properties are in twips.
class VisualComponent : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~VisualComponent() override = default;

    virtual QWidget* Display() = 0;

    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() = 0;
    virtual void SetLeft(double twips) = 0;
    virtual void SetTop(double twips) = 0;
    virtual void SetWidth(double twips) = 0;
    virtual void SetHeight(double twips) = 0;
    virtual double Left() = 0;
    virtual double Top() = 0;
    virtual double Width() = 0;
    virtual double Height() = 0;

signals:
    // A failure that no caller is there to receive: one on a worker thread
    // (decoding during play, a conversion) or one whose reason the operation's
    // result cannot carry (an upload answers only True or False). Emitted on the
    // UI thread, once per failure; the source names the operation it ended.
    void Failed(const tvn::TvnError& error);
};

}  // namespace tvn
