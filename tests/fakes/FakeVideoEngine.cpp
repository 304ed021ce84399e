#include "fakes/FakeVideoEngine.h"

#include "core/BitmapTable.h"

namespace tvn::testing {

FakeVideoEngine::FakeVideoEngine(QString name, CallLog& log, QWidget* parent)
    : VideoEngine(parent), name_(std::move(name)), log_(log), display_(new QWidget(parent)) {
    display_->setObjectName(name_);
}

void FakeVideoEngine::failIfScripted(const QString& op) {
    auto it = failures_.find(op);
    if (it != failures_.end()) throw *it;
}

void FakeVideoEngine::call(const char* op, std::initializer_list<QString> args) {
    log_.add(CallLog::call(name_, op, args));
    failIfScripted(QLatin1String(op));
}

void FakeVideoEngine::set(const char* prop, const QString& value) {
    log_.add(QStringLiteral("%1.%2 = %3").arg(name_, QLatin1String(prop), value));
    failIfScripted(QLatin1String(prop));
}

void FakeVideoEngine::get(const char* prop) {
    log_.add(QStringLiteral("%1.%2").arg(name_, QLatin1String(prop)));
    failIfScripted(QLatin1String(prop));
}

void FakeVideoEngine::SetVisible(bool visible) {
    set("Visible", CallLog::arg(visible));
    display_->setVisible(visible);
}

bool FakeVideoEngine::Visible() {
    get("Visible");
    return !display_->isHidden();
}

void FakeVideoEngine::GetVideoSize(int32_t& w, int32_t& h) {
    call("GetVideoSize");
    w = videoWidth;
    h = videoHeight;
}

bool FakeVideoEngine::SaveFrameJpeg(const QString& f, int32_t q) {
    call("SaveFrameJpeg", {CallLog::arg(f), CallLog::arg(q)});
    return saveJpegResult;
}

bool FakeVideoEngine::UploadFrame(const QString& server, const QString& user, const QString& password,
                                  const QString& path, const QString& fileName, int32_t port, int32_t quality) {
    call("UploadFrame", {CallLog::arg(server), CallLog::arg(user), CallLog::arg(password), CallLog::arg(path),
                         CallLog::arg(fileName), CallLog::arg(port), CallLog::arg(quality)});
    return uploadResult;
}

void FakeVideoEngine::SetTextOverlay(int32_t slot, const QString& text, int32_t x, int32_t y, const QString& font,
                                     int32_t size, int32_t colour, int32_t background) {
    call("SetTextOverlay", {CallLog::arg(slot), CallLog::arg(text), CallLog::arg(x), CallLog::arg(y),
                            CallLog::arg(font), CallLog::arg(size), CallLog::arg(colour), CallLog::arg(background)});
}

void FakeVideoEngine::SetOverlayBitmap(int32_t slot, int32_t handle, int32_t x, int32_t y, int32_t w, int32_t h,
                                       int32_t& keyColour, int32_t alpha) {
    // The handle is logged as "handle" when it is a live bitmap, so tests need not know its value.
    call("SetOverlayBitmap", {CallLog::arg(slot), BitmapTable::instance().contains(handle) ? QStringLiteral("handle")
                                                                                          : CallLog::arg(handle),
                              CallLog::arg(x), CallLog::arg(y), CallLog::arg(w), CallLog::arg(h),
                              CallLog::arg(keyColour), CallLog::arg(alpha)});
    lastOverlayKeyColour = keyColour;
}

int32_t FakeVideoEngine::VideoCompressorCount() {
    get("VideoCompressorCount");
    return static_cast<int32_t>(compressorNames.size());
}

QString FakeVideoEngine::VideoCompressorName(int32_t i) {
    call("VideoCompressorName", {CallLog::arg(i)});
    return compressorNames.value(i);
}

void FakeVideoEngine::AddFrame(int32_t handle) {
    call("AddFrame", {BitmapTable::instance().contains(handle) ? QStringLiteral("handle") : CallLog::arg(handle)});
    addedFrames.append(BitmapTable::instance().image(handle));
}

int32_t FakeVideoEngine::ProfileCount() {
    get("ProfileCount");
    return static_cast<int32_t>(profileNames.size());
}

QString FakeVideoEngine::ProfileName(int32_t i) {
    call("ProfileName", {CallLog::arg(i)});
    return profileNames.value(i);
}

void FakeVideoEngine::ConvertToWmv(const QString& video, const QString& audio, const QString& out, double from,
                                   double to) {
    call("ConvertToWmv",
         {CallLog::arg(video), CallLog::arg(audio), CallLog::arg(out), CallLog::arg(from), CallLog::arg(to)});
}

}  // namespace tvn::testing
