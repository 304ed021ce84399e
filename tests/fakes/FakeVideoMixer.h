#pragma once

#include "fakes/ScriptedFailures.h"
#include "media/BasicVideoMixer.h"

#include <QMap>
#include <QRectF>

namespace tvn::testing {

// A mixer that keeps its sources (identifiers 1, 2, 3, ...) with what the
// control set on them, and rejects unknown identifiers as any mixer must.
// Every source reports the scripted size, duration and frame count.
class FakeVideoMixer : public BasicVideoMixer, public ScriptedFailures {
public:
    explicit FakeVideoMixer(QWidget* parent) : BasicVideoMixer(parent) { SetMixerSetting2(-1); }

    struct Source {
        QString file;
        QRectF rect;
        float alpha = 1;
        int32_t deinterlace = 0;
        std::optional<double> seek;
        bool playing = false;
    };

    int32_t sourceFrameCount = 0;
    double sourceDuration = 0;
    Picture mixedPicture;
    QMap<int32_t, Source> sources;
    int32_t nextId = 1;

    int32_t AddSource(const QString& f, int32_t) override { check("AddSource"); sources[nextId].file = f; return nextId++; }
    void RemoveSource(int32_t s) override { check("RemoveSource"); sources.remove(s); }
    void StopAll() override { check("StopAll"); for (Source& s : sources) s.playing = false; }
    void GetSourceSize(int32_t s, int32_t& w, int32_t& h) override { at(s, "GetSourceSize"); w = h = 0; }
    double GetSourceDuration(int32_t s) override { at(s, "GetSourceDuration"); return sourceDuration; }
    int32_t GetSourceFrameCount(int32_t s) override { at(s, "GetSourceFrameCount"); return sourceFrameCount; }
    void SetSourceDeinterlace(int32_t s, int32_t v) override { at(s, "SetSourceDeinterlace").deinterlace = v; }
    void SetSourceAlpha(int32_t s, float a) override { at(s, "SetSourceAlpha").alpha = a; }
    void SetSourceRect(int32_t s, float x, float y, float w, float h) override { at(s, "SetSourceRect").rect = {x, y, w, h}; }
    void SeekSource(int32_t s, double p) override { at(s, "SeekSource").seek = p; }
    void PlaySource(int32_t s) override { at(s, "PlaySource").playing = true; }
    void PauseSource(int32_t s) override { at(s, "PauseSource").playing = false; }
    Picture MixedFramePicture(int32_t) override { return mixedPicture; }

private:
    Source& at(int32_t s, const char* op) {
        check(op);
        if (!sources.contains(s)) throwUnknownSource(s, op);
        return sources[s];
    }
};

}  // namespace tvn::testing
