#include "motion/Track.h"

#include <algorithm>

namespace tvn::motion {

const TrackSample* Track::at(int frame) const {
    const auto it = std::lower_bound(samples.begin(), samples.end(), frame,
                                     [](const TrackSample& s, int f) { return s.frame < f; });
    return it != samples.end() && it->frame == frame ? &*it : nullptr;
}

Track Track::corrected(const Track& continuation, bool backward) const {
    if (continuation.isEmpty()) return *this;
    // The continuation starts at the corrected frame: its first sample going
    // forward, its last going backward (samples are kept in frame order).
    const int from = backward ? continuation.samples.back().frame : continuation.samples.front().frame;
    Track out;
    if (backward) {
        out.samples = continuation.samples;
        for (const TrackSample& s : samples)
            if (s.frame > from) out.samples.push_back(s);
        // The old loss stays when it lay on the side kept.
        out.loss = continuation.loss ? continuation.loss : (loss && loss->frame > from ? loss : std::nullopt);
    } else {
        for (const TrackSample& s : samples)
            if (s.frame < from) out.samples.push_back(s);
        out.samples.insert(out.samples.end(), continuation.samples.begin(), continuation.samples.end());
        out.loss = continuation.loss ? continuation.loss : (loss && loss->frame < from ? loss : std::nullopt);
    }
    return out;
}

}  // namespace tvn::motion
