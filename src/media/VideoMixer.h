#pragma once

#include "core/Picture.h"
#include "media/VisualComponent.h"

#include <QString>
#include <cstdint>

namespace tvn {

// The video mixer: shows any number of clips ("sources") mixed into one picture,
// each named by the identifier AddSource returned. Sources are drawn in the
// order they were added, the later over the earlier. Positions and durations
// are milliseconds, as the engine's. Rectangles are display pixels; a negative
// width mirrors the source. The placement properties are twips.
class VideoMixer : public VisualComponent {
    Q_OBJECT
public:
    using VisualComponent::VisualComponent;
    ~VideoMixer() override = default;

    virtual void Call9() = 0;
    virtual void SetMixerSetting2(int32_t value) = 0;
    virtual int32_t MixerSetting2() = 0;
    virtual int32_t AddSource(const QString& fileName, int32_t flags) = 0;
    virtual void Call11() = 0;
    virtual void RemoveSource(int32_t source) = 0;
    virtual void StopAll() = 0;

    virtual void GetSourceSize(int32_t source, int32_t& width, int32_t& height) = 0;
    virtual double GetSourceDuration(int32_t source) = 0;
    virtual int32_t GetSourceFrameCount(int32_t source) = 0;
    virtual void SetSourceDeinterlace(int32_t source, int32_t onOff) = 0;
    virtual void SetSourceAlpha(int32_t source, float alpha) = 0;
    virtual void SetSourceRect(int32_t source, float x, float y, float width, float height) = 0;
    virtual void SeekSource(int32_t source, double position) = 0;
    virtual void PlaySource(int32_t source) = 0;
    virtual void PauseSource(int32_t source) = 0;

    virtual Picture MixedFramePicture(int32_t which) = 0;
};

}  // namespace tvn
