#pragma once

#include "core/Picture.h"

#include <QString>
#include <QVariant>
#include <cstdint>

namespace tvn {

class Trelvan;

// The film strip of the next nine frames over the whole control.
class FilmStrip {
public:
    explicit FilmStrip(Trelvan& control) : c_(control) {}

    void TVN_ShowFilmStrip(bool onOrOff);
    void DrawFilmStrip();
    void SyncPositionViews();

private:
    Trelvan& c_;
};

}  // namespace tvn
