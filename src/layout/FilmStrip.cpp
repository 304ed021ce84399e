#include "layout/FilmStrip.h"

#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "platform/SurfaceView.h"

namespace tvn {

void FilmStrip::TVN_ShowFilmStrip(bool /*onOrOff*/) {
    throw TvnError::notImplemented("TVN_ShowFilmStrip");
}

void FilmStrip::DrawFilmStrip() {
    if (c_.FilmStripPanel->isHidden()) return;
    throw TvnError::notImplemented("DrawFilmStrip");
}

void FilmStrip::SyncPositionViews() {
    throw TvnError::notImplemented("SyncPositionViews");
}

}  // namespace tvn
