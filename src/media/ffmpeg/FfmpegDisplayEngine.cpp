#include "media/ffmpeg/FfmpegDisplayEngine.h"

#include "core/BitmapTable.h"
#include "core/LogCategories.h"
#include "core/TvnError.h"
#include "media/ffmpeg/EngineDisplayWidget.h"
#include "media/ffmpeg/EngineValues.h"
#include "media/ffmpeg/WorkerRestart.h"
#include "upload/FrameUploader.h"

#include <QBuffer>
#include <QEventLoop>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace tvn {

namespace {
using engine::State;

bool writeJpeg(const QImage& image, QIODevice* device, int32_t quality) {
    QImageWriter writer(device, "jpeg");
    writer.setQuality(std::clamp<int32_t>(quality, 1, 100));
    return writer.write(image);
}
}  // namespace

FfmpegDisplayEngine::FfmpegDisplayEngine(QWidget* parent) : BasicVideoEngine(parent) {
    decoder_.setDecodeBehind(true);  // off only while the playback worker owns the decoder
    view_ = new EngineDisplayWidget(parent);
    setDisplay(view_);
    SetBackColor(0);
    connect(view_, &EngineDisplayWidget::pointer, this,
            [this](EngineDisplayWidget::Pointer kind, int16_t button, int16_t shift, float x, float y) {
                switch (kind) {
                    case EngineDisplayWidget::Pointer::Down: emit EngineMouseDown(button, shift, x, y); break;
                    case EngineDisplayWidget::Pointer::Move: emit EngineMouseMove(button, shift, x, y); break;
                    case EngineDisplayWidget::Pointer::Up: emit EngineMouseUp(button, shift, x, y); break;
                }
            });
    connect(view_, &EngineDisplayWidget::keyTyped, this, [this](int16_t key) { emit EngineKeyPress(key); });
    // The sound stops on its own failure and the picture plays on; the host hears why.
    sound_.setFailureSink([this](const TvnError& error) {
        QMetaObject::invokeMethod(this, [this, error] { emit Failed(error); }, Qt::QueuedConnection);
    });
}

FfmpegDisplayEngine::~FfmpegDisplayEngine() {
    stopWorker();
    delete fullScreenView_.data();
}

// ---- settings ---------------------------------------------------------------

void FfmpegDisplayEngine::SetDeinterlace(int32_t onOff) {
    BasicVideoEngine::SetDeinterlace(onOff);
    const WorkerRestart restart = restartAfterChange();
    decoder_.setDeinterlace(onOff != 0);
    if (decoder_.isOpen()) showFrame(decoder_.current());
}

void FfmpegDisplayEngine::SetFlipMode(int16_t mode) {
    BasicVideoEngine::SetFlipMode(mode);
    composer_.setMirrored(mode == engine::kFlipMirrored);
    recompose();
}

void FfmpegDisplayEngine::SetBackColor(int32_t colour) {
    BasicVideoEngine::SetBackColor(colour);
    if (view_) view_->setBackground(FrameComposer::colourOf(colour));
}

void FfmpegDisplayEngine::setCacheBudgetBytes(int64_t bytes) {
    const WorkerRestart restart = restartAfterChange();
    decoder_.setCacheBudget(bytes);
}

// ---- playback ---------------------------------------------------------------

void FfmpegDisplayEngine::OpenClip(const QString& fileName) {
    closeClip();
    try {
        decoder_.open(fileName);
    } catch (...) {
        rethrowWithPrefix("OpenClip");
    }
    showFrame(decoder_.current());
    setState(State::Paused);
    announceFirstFrame();
}

void FfmpegDisplayEngine::closeClip() {
    stopWorker();
    decoder_.close();
    shown_ = {};
    composed_ = {};
    if (view_) view_->setPicture({});
    if (fullScreenView_) fullScreenView_->setPicture({});
}

void FfmpegDisplayEngine::Stop() {
    closeClip();
    setState(State::Closed);
}

void FfmpegDisplayEngine::Play() {
    if (!decoder_.isOpen() || playing_) return;
    if (decoder_.atLastFrame()) showFrame(decoder_.seek(0));
    startWorker();
    setState(State::Running);
}

void FfmpegDisplayEngine::Pause() {
    if (!decoder_.isOpen()) return;
    stopWorker();
    setState(State::Paused);
}

void FfmpegDisplayEngine::Seek(double ms) {
    if (!decoder_.isOpen()) return;
    const WorkerRestart restart = restartAfterChange();
    withPrefix("Seek", [&] { showFrame(decoder_.seek(ms)); });
}

double FfmpegDisplayEngine::seekApproximate(double ms) {
    if (!decoder_.isOpen()) return 0;
    const WorkerRestart restart = restartAfterChange();
    withPrefix("seekApproximate", [&] { showFrame(decoder_.seekApproximate(ms)); });
    return shown_.positionMs;
}

void FfmpegDisplayEngine::SetRate(double rate) {
    if (!(rate > 0) || !std::isfinite(rate))
        throw TvnError(err::InvalidCall,
                       QStringLiteral("Cannot play at rate %1: a rate is a number above 0 (played at %2 to %3)")
                           .arg(rate)
                           .arg(engine::kMinRate)
                           .arg(engine::kMaxRate),
                       QStringLiteral("VideoEngine"))
            .prefixed("SetRate");
    rate = std::clamp(rate, engine::kMinRate, engine::kMaxRate);
    BasicVideoEngine::SetRate(rate);
    const WorkerRestart restart = restartAfterChange();
}

void FfmpegDisplayEngine::SetVolume(int32_t volume) {
    BasicVideoEngine::SetVolume(std::clamp(volume, 0, 100));
    sound_.setVolume(this->volume());
}

WorkerRestart FfmpegDisplayEngine::restartAfterChange() {
    return WorkerRestart(playing_, {[this] { stopWorker(); }, [this] { startWorker(); }, "Play",
                                    [this](const TvnError& error) {
                                        setState(State::Paused);
                                        emit Failed(error);
                                    }});
}

void FfmpegDisplayEngine::startWorker() {
    // The worker starts from the frame on screen.
    if (decoder_.current().positionMs != shown_.positionMs) decoder_.seek(shown_.positionMs);
    playing_ = true;
    decoder_.setDecodeBehind(false);
    if (decoder_.info().hasAudio)
        sound_.start(decoder_.fileName(), shown_.positionMs, decoder_.info().firstFrameSeconds, volume(), rate());
    PlaybackPacer::SoundClock soundClock;
    if (decoder_.info().hasAudio) soundClock = [this](PlaybackPacer::Clock::time_point at) { return sound_.heardPositionMs(at); };
    const uint64_t generation = mailbox_.generation();
    const auto wake = [this] { QMetaObject::invokeMethod(this, [this] { deliverFrame(); }, Qt::QueuedConnection); };
    worker_.start(
        decoder_, PlaybackPacer(PlaybackPacer::Clock::now(), decoder_.current().positionMs, rate(), std::move(soundClock)),
        [this, generation, wake](const VideoFrame& frame) {
            if (mailbox_.post(generation, frame)) wake();
        },
        // The reason travels with the last frame, so the host hears why before the end is raised.
        [this, generation, wake](const VideoFrame& last, std::optional<TvnError> failure) {
            if (mailbox_.postEnd(generation, last, std::move(failure))) wake();
        });
}

void FfmpegDisplayEngine::stopWorker() {
    mailbox_.close();
    worker_.stop();
    sound_.stop();
    playing_ = false;
    decoder_.setDecodeBehind(true);
}

void FfmpegDisplayEngine::deliverFrame() {
    std::optional<FrameMailbox::Letter> letter = mailbox_.take();
    if (!letter || !playing_) return;  // dropped by a stop
    if (!letter->frame.isNull()) showFrame(letter->frame);
    if (letter->atEnd) {
        stopWorker();
        setState(State::Paused);
        if (letter->failure) emit Failed(*letter->failure);
        emit PlaybackEnded();
    }
}

void FfmpegDisplayEngine::setState(State state) {
    if (state == state_) return;
    state_ = state;
    emit StateChange(int32_t(state));
}

// ---- full screen ------------------------------------------------------------

void FfmpegDisplayEngine::FullScreen(int32_t onOff) {
    if (onOff == 0) {
        if (fullScreenView_) {
            delete fullScreenView_.data();
        }
        return;
    }
    if (fullScreenView_) return;
    fullScreenView_ = new EngineDisplayWidget(nullptr);
    fullScreenView_->setAttribute(Qt::WA_DeleteOnClose);
    // A screen is rarely the clip's shape, and a host cannot reach this window to
    // letterbox it as it does the control: the picture keeps its proportions here.
    fullScreenView_->setKeepAspect(true);
    fullScreenView_->setBackground(FrameComposer::colourOf(BackColor()));
    fullScreenView_->setPicture(composed_);
    connect(fullScreenView_, &EngineDisplayWidget::escapePressed, this, &FfmpegDisplayEngine::leaveFullScreen);
    connect(fullScreenView_, &EngineDisplayWidget::doubleClicked, this, &FfmpegDisplayEngine::leaveFullScreen);
    fullScreenView_->showFullScreen();
    fullScreenView_->activateWindow();
    fullScreenView_->setFocus();
}

bool FfmpegDisplayEngine::isFullScreen() const { return fullScreenView_ != nullptr; }

void FfmpegDisplayEngine::leaveFullScreen() {
    if (!fullScreenView_) return;
    fullScreenView_->close();  // deletes itself
    fullScreenView_ = nullptr;
    emit EngineFullScreenLost();
}

// ---- queries ----------------------------------------------------------------

double FfmpegDisplayEngine::GetFrameCount() { return decoder_.isOpen() ? decoder_.info().frameCount : 0; }

int32_t FfmpegDisplayEngine::GetDuration() {
    return decoder_.isOpen() ? int32_t(std::lround(decoder_.info().durationMs)) : 0;
}

void FfmpegDisplayEngine::GetVideoSize(int32_t& width, int32_t& height) {
    width = VideoWidth();
    height = VideoHeight();
}

double FfmpegDisplayEngine::GetPosition() { return decoder_.isOpen() ? std::round(shown_.positionMs) : 0; }
int32_t FfmpegDisplayEngine::VideoWidth() { return decoder_.isOpen() ? decoder_.info().width : 0; }
int32_t FfmpegDisplayEngine::VideoHeight() { return decoder_.isOpen() ? decoder_.info().height : 0; }

// ---- frames -----------------------------------------------------------------

void FfmpegDisplayEngine::showFrame(const VideoFrame& frame) {
    shown_ = frame;
    recompose();
}

void FfmpegDisplayEngine::recompose() {
    composed_ = composer_.compose(shown_.image);
    if (view_) view_->setPicture(composed_);
    if (fullScreenView_) fullScreenView_->setPicture(composed_);
}

Picture FfmpegDisplayEngine::CurrentFramePicture() { return composed_.isNull() ? Picture() : Picture(composed_); }

int32_t FfmpegDisplayEngine::GetFrameBitmap() {
    return composed_.isNull() ? 0 : BitmapTable::instance().add(composed_);
}

QByteArray FfmpegDisplayEngine::jpegOfShownFrame(int32_t quality) const {
    if (composed_.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return writeJpeg(composed_, &buffer, quality) ? bytes : QByteArray();
}

bool FfmpegDisplayEngine::SaveFrameJpeg(const QString& fileName, int32_t quality) {
    // False says only that it failed; why goes to the host through Failed.
    const auto refuse = [&](int32_t number, const QString& why) {
        emit Failed(TvnError(number, QStringLiteral("Cannot save the frame as '%1': %2").arg(fileName, why),
                             QStringLiteral("VideoEngine"))
                        .prefixed("SaveFrameJpeg"));
        return false;
    };
    if (composed_.isNull()) return refuse(err::InvalidCall, QStringLiteral("no clip is open"));
    if (fileName.isEmpty()) return refuse(err::PathFileAccess, QStringLiteral("no file name given"));
    // Written aside and renamed, so a failure never leaves a partial file behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return refuse(err::PathFileAccess, file.errorString());
    if (!writeJpeg(composed_, &file, quality)) {
        file.cancelWriting();
        return refuse(err::PathFileAccess, file.errorString().isEmpty() ? QStringLiteral("the JPEG could not be written")
                                                                        : file.errorString());
    }
    if (!file.commit()) return refuse(err::PathFileAccess, file.errorString());
    return true;
}

void FfmpegDisplayEngine::setUploadTimeouts(int connectSeconds, int idleSeconds) {
    upload_.connectTimeoutSeconds = connectSeconds;
    upload_.idleTimeoutSeconds = idleSeconds;
}

bool FfmpegDisplayEngine::UploadFrame(const QString& server, const QString& user, const QString& password,
                                      const QString& path, const QString& fileName, int32_t port, int32_t quality) {
    const auto refuse = [&](const QString& why) {
        const TvnError error =
            TvnError(err::UploadFailed, why, QStringLiteral("VideoEngine")).prefixed("UploadFrame");
        qCWarning(lcUpload, "%s", qPrintable(why));
        emit Failed(error);
        return false;
    };
    const QString target = FrameUploader::shownUrl(FrameUploader::targetUrl(server, path, fileName));
    if (uploading_) return refuse(QStringLiteral("Upload to '%1' refused: the frame before is still being sent").arg(target));
    const QByteArray jpeg = jpegOfShownFrame(quality);
    if (jpeg.isEmpty()) return refuse(QStringLiteral("Upload to '%1' refused: no clip is open").arg(target));
    if (server.trimmed().isEmpty()) return refuse(QStringLiteral("Upload refused: no server given"));
    if (fileName.isEmpty()) return refuse(QStringLiteral("Upload to '%1' refused: no file name given").arg(target));

    // The transfer runs on the upload worker; this thread goes on with its events
    // (paints, timers, a lesson's ticks) until it ends. A handler that runs in
    // the meantime may delete the engine: then nothing of it is touched after.
    struct Outcome {
        bool ok = false;
        QString error;
    };
    const auto outcome = std::make_shared<Outcome>();
    const QPointer<FfmpegDisplayEngine> alive(this);
    QEventLoop wait;
    uploading_ = true;
    upload_.start({jpeg, server, user, password, path, fileName, port},
                  [outcome, loop = &wait](bool ok, const QString& error) {
                      outcome->ok = ok;
                      outcome->error = error;
                      // The loop lives until it has run this: it returns only through it.
                      QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
                  });
    wait.exec();
    if (!alive) return false;
    uploading_ = false;
    if (!outcome->ok) return refuse(outcome->error);
    return true;
}

void FfmpegDisplayEngine::SetTextOverlay(int32_t slot, const QString& text, int32_t x, int32_t y,
                                         const QString& fontName, int32_t fontSize, int32_t colour,
                                         int32_t background) {
    composer_.setCaption(slot, text, x, y, fontName, fontSize, colour, background);
    recompose();
}

void FfmpegDisplayEngine::setOverlayImage(int32_t slot, const QImage& image, int32_t x, int32_t y, int32_t width,
                                          int32_t height, int32_t& keyColour, int32_t alpha) {
    if (image.isNull()) composer_.removeOverlay(slot);
    else composer_.setOverlay(slot, image, x, y, width, height, keyColour, alpha);
    recompose();
}

}  // namespace tvn
