#pragma once

#include <QObject>

namespace tvn {
class Trelvan;
}

namespace studio {

// The control says nothing of its drawings; this follows the pointer to know
// whether there are any (a clip that opens clears them, so the studio asks
// first), and whether a text on the video is being typed (it takes the keys until Enter).
class DrawingWatch : public QObject {
    Q_OBJECT
public:
    DrawingWatch(tvn::Trelvan* control, QObject* parent);

    bool hasDrawings() const { return hasDrawings_; }
    bool typingText() const;
    // The drawings are gone (erased, or a new clip).
    void forget() { hasDrawings_ = typingText_ = false; }
    void cleared() { hasDrawings_ = false; }

private:
    tvn::Trelvan* control_;
    bool typingText_ = false;   // a text on the video takes the keys until Enter
    bool hasDrawings_ = false;  // something was drawn since the last clear
};

}  // namespace studio
