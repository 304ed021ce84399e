#pragma once

#include <functional>
#include <memory>

class QWidget;

namespace tvn {

class AudioRecorder;
class Platform;
class VideoEngine;
class VideoMixer;

enum class EngineRole { Display, Recording };

// Everything the control takes from the outside world, as factories: the real
// FFmpeg/ALSA components by default, recording fakes in tests.
struct Components {
    // The engine and mixer are created with the control as their QObject parent.
    std::function<VideoEngine*(EngineRole role, QWidget* parent)> createEngine;
    std::function<VideoMixer*(QWidget* parent)> createMixer;
    std::function<std::unique_ptr<AudioRecorder>()> createAudioRecorder;
    std::shared_ptr<Platform> platform;

    // The real components on the desktop platform.
    static Components defaults();
};

}  // namespace tvn
