#pragma once

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
};

}  // namespace tvn
