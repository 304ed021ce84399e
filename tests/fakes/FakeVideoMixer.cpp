#include "fakes/FakeVideoMixer.h"

namespace tvn::testing {

FakeVideoMixer::FakeVideoMixer(CallLog& log, QWidget* parent)
    : VideoMixer(parent), log_(log), display_(new QWidget(parent)) {
    display_->setObjectName(QStringLiteral("VideoMixerX1"));
}

void FakeVideoMixer::failOnCall(const QString& operation, int n, const TvnError& error) {
    failOnNth_.insert(operation, qMakePair(n, error));
}

void FakeVideoMixer::failIfScripted(const QString& op) {
    const int n = ++calls_[op];
    auto nth = failOnNth_.find(op);
    if (nth != failOnNth_.end() && nth->first == n) throw nth->second;
    auto it = failures_.find(op);
    if (it != failures_.end()) throw *it;
}

void FakeVideoMixer::call(const char* op, std::initializer_list<QString> args) {
    log_.add(CallLog::call(QStringLiteral("VideoMixerX1"), op, args));
    failIfScripted(QLatin1String(op));
}

void FakeVideoMixer::set(const char* prop, const QString& value) {
    log_.add(QStringLiteral("VideoMixerX1.%1 = %2").arg(QLatin1String(prop), value));
    failIfScripted(QLatin1String(prop));
}

void FakeVideoMixer::get(const char* prop) {
    log_.add(QStringLiteral("VideoMixerX1.%1").arg(QLatin1String(prop)));
    failIfScripted(QLatin1String(prop));
}

void FakeVideoMixer::SetVisible(bool visible) {
    set("Visible", CallLog::arg(visible));
    display_->setVisible(visible);
}

bool FakeVideoMixer::Visible() {
    get("Visible");
    return !display_->isHidden();
}

int32_t FakeVideoMixer::AddSource(const QString& fileName, int32_t flags) {
    call("AddSource", {CallLog::arg(fileName), CallLog::arg(flags)});
    return nextSourceId++;
}

void FakeVideoMixer::GetSourceSize(int32_t s, int32_t& w, int32_t& h) {
    call("GetSourceSize", {CallLog::arg(s)});
    w = sourceWidth;
    h = sourceHeight;
}

}  // namespace tvn::testing
