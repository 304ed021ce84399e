#pragma once

#include "media/PlacedDisplay.h"

namespace tvn {

// The placement half of a visual component (engine or mixer), done once: the
// display widget, shown, hidden and placed in twips as the container asks.
template <class Contract>
class PlacedComponent : public Contract {
public:
    using Contract::Contract;

    QWidget* Display() override { return display_.widget(); }
    void SetVisible(bool visible) override { display_.setVisible(visible); }
    bool Visible() override { return display_.visible(); }
    void SetLeft(double twips) override { display_.setLeft(twips); }
    void SetTop(double twips) override { display_.setTop(twips); }
    void SetWidth(double twips) override { display_.setWidth(twips); }
    void SetHeight(double twips) override { display_.setHeight(twips); }
    double Left() override { return display_.left(); }
    double Top() override { return display_.top(); }
    double Width() override { return display_.width(); }
    double Height() override { return display_.height(); }

protected:
    // Replaces the display by the component's own widget (owned from then on).
    void setDisplay(QWidget* display) { display_.replace(display); }

private:
    PlacedDisplay display_;
};

}  // namespace tvn
