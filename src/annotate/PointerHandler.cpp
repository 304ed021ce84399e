#include "annotate/PointerHandler.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"

namespace tvn {

void PointerHandler::PointerDown(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("PointerDown");
}

void PointerHandler::PointerMove(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("PointerMove");
}

void PointerHandler::PointerUp(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("PointerUp");
}

void PointerHandler::TVN_MouseDown(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("TVN_MouseDown");
}

void PointerHandler::TVN_MouseMove(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("TVN_MouseMove");
}

void PointerHandler::TVN_MouseUp(int16_t& /*Button*/, int16_t& /*Shift*/, float& /*x*/, float& /*y*/) {
    throw TvnError::notImplemented("TVN_MouseUp");
}

void PointerHandler::TypeKey(int16_t /*keyAscii*/) {
    throw TvnError::notImplemented("TypeKey");
}

}  // namespace tvn
