#pragma once

#include "media/VideoMixer.h"

#include "media/PlacedComponent.h"

namespace tvn {

// The common ground of mixers: stores placement and settings and places the
// display widget. Alone it is the mixer of a build without one: AddSource fails
// with "not available", and every operation on a source fails for the unknown
// identifier, as any mixer must.
class BasicVideoMixer : public PlacedComponent<VideoMixer> {
    Q_OBJECT
public:
    explicit BasicVideoMixer(QWidget* parent);

    void Call9() override {}
    void SetMixerSetting2(int32_t value) override { setting2_ = value; }
    int32_t MixerSetting2() override { return setting2_; }
    int32_t AddSource(const QString& fileName, int32_t flags) override;
    void Call11() override {}
    void RemoveSource(int32_t source) override;
    void StopAll() override {}

    void GetSourceSize(int32_t source, int32_t& width, int32_t& height) override;
    double GetSourceDuration(int32_t source) override;
    int32_t GetSourceFrameCount(int32_t source) override;
    void SetSourceDeinterlace(int32_t source, int32_t onOff) override;
    void SetSourceAlpha(int32_t source, float alpha) override;
    void SetSourceRect(int32_t source, float x, float y, float width, float height) override;
    void SeekSource(int32_t source, double position) override;
    void PlaySource(int32_t source) override;
    void PauseSource(int32_t source) override;

    Picture MixedFramePicture(int32_t) override { return {}; }

protected:
    [[noreturn]] static void throwUnknownSource(int32_t source, const char* operation);

private:
    int32_t setting2_ = 0;
};

}  // namespace tvn
