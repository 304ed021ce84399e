#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tvn {

// Changes the speed of interleaved 16-bit stereo sound at 48 kHz without
// changing its pitch, through FFmpeg's atempo filter (WSOLA). One atempo stage
// takes 0.5 to 2.0 cleanly, so the tempo is split into a chain of stages in
// that range: 0.1 is 0.5 x 0.5 x 0.5 x 0.8, 4.0 is 2 x 2. Tempo 1 passes the
// samples through untouched. Used from one thread.
class TempoFilter {
public:
    explicit TempoFilter(double tempo);
    ~TempoFilter();
    TempoFilter(const TempoFilter&) = delete;
    TempoFilter& operator=(const TempoFilter&) = delete;

    // False when FFmpeg could not build the chain; the caller then stays silent.
    bool isReady() const;
    // Feeds frames in and returns what the filter has ready (about frames / tempo
    // over time; the filter holds back a few milliseconds it needs to look ahead).
    std::vector<int16_t> process(const int16_t* interleaved, int frames);
    // At the sound's end: what the filter still holds. Nothing is taken after it.
    std::vector<int16_t> flush();

    // The chain of stage factors for a tempo, each within [0.5, 2].
    static std::vector<double> stages(double tempo);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tvn
