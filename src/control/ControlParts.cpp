#include "control/ControlParts.h"

#include "core/Twips.h"
#include "media/AudioRecorder.h"
#include "media/Components.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Platform.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "platform/Timer.h"

namespace tvn {

// Out of line, where the owned types are complete.
ControlParts::ControlParts() = default;
ControlParts::~ControlParts() = default;

void ControlParts::create(QWidget& q, const Components& components) {
    const double tpp = twipsPerPixelX(&q);
    ControlParts& p = *this;
    p.display = components.createEngine(EngineRole::Display, &q);
    p.recordingEngine = components.createEngine(EngineRole::Recording, &q);
    p.recordingEngine->Display()->hide();  // the recording instance is never shown
    p.mixer = components.createMixer(&q);
    p.mixer->Display()->hide();  // shown only while an overlay is active

    p.annotationLayer = std::make_unique<Surface>(QStringLiteral("Picture1"), tpp);
    p.annotationLayer->setFontName(QStringLiteral("Arial Black"));
    p.annotationLayer->setFontBold(true);
    p.annotationLayer->setFontSize(8.25);
    p.freeHandLayer = std::make_unique<Surface>(QStringLiteral("Picture2"), tpp);
    p.freeHandLayer->clearTo(0xFFFFFF);
    p.lessonFrame = std::make_unique<Surface>(QStringLiteral("Picture3"), tpp);
    p.logoPicture = std::make_unique<Surface>(QStringLiteral("Picture4"), tpp);
    p.filmStripPicture = std::make_unique<Surface>(QStringLiteral("Picture5"), tpp);
    p.secondPicture = std::make_unique<Surface>(QStringLiteral("Picture6"), tpp);
    p.filmStripPanel = new SurfaceView(*p.filmStripPicture, &q);
    p.filmStripPanel->setObjectName(QStringLiteral("FilmStrip"));
    p.filmStripPanel->hide();
    p.loupePicture = std::make_unique<Surface>(QStringLiteral("ZoomPicture"), tpp);
    p.loupeView = new SurfaceView(*p.loupePicture, &q);
    p.loupeView->setObjectName(QStringLiteral("ZoomPicture"));
    p.loupeView->hide();
    // Stacking: the video, the mixer over it, the strip over both, the loupe on top.
    p.mixer->Display()->raise();
    p.filmStripPanel->raise();
    p.loupeView->raise();

    p.clipTimer = p.platform->createTimer();
    p.clipTimer->setInterval(500);
    p.gestureRedrawTimer = p.platform->createTimer();
    p.gestureRedrawTimer->setInterval(200);
    p.lessonTimer = p.platform->createTimer();
    if (!p.audioRecorder) p.audioRecorder = components.createAudioRecorder();
}

}  // namespace tvn
