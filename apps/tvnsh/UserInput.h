#pragma once

#include <QStringList>
#include <Qt>

namespace tvn {
class Trelvan;
}

namespace tvnsh {

// The shell's pointer and key statements as a user's input: Qt mouse and key
// events sent to the widget of the control that shows the video, with the
// host's button (1 left, 2 right, 4 middle) and shift (1 shift, 2 control,
// 4 alt) codes. Buttons pressed and not yet released stay held for the moves.
class UserInput {
public:
    explicit UserInput(tvn::Trelvan& control) : control_(control) {}

    // pointer down|move|up X Y [BUTTON [SHIFT]]
    void pointer(const QStringList& words);
    // key CODE
    void key(const QStringList& words);

private:
    tvn::Trelvan& control_;
    Qt::MouseButtons pressed_;
};

}  // namespace tvnsh
