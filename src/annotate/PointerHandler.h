#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// Pointer press, drag and release on the video, from the engine's notifications and the
// host's TVN_Mouse* forwarders, for every drawing tool; and key typing into a text.
class PointerHandler {
public:
    explicit PointerHandler(Trelvan& control) : c_(control) {}

    void PointerDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    void PointerMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    void PointerUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseDown(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseMove(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TVN_MouseUp(int16_t& Button, int16_t& Shift, float& x, float& y);
    void TypeKey(int16_t keyAscii);

private:
    Trelvan& c_;
};

}  // namespace tvn
