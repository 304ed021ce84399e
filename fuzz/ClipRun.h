#pragma once

#include <QString>
#include <cstdint>

namespace tvn {
class Trelvan;
}

namespace tvnfuzz {

class Watchdog;

// What became of one clip.
struct ClipOutcome {
    enum class Kind {
        Played,   // every step ran without a failure
        Error,    // a step failed with a numbered, described TvnError
        Silent,   // opened with no frames and no error: nothing said why
        Unclear,  // a failure that was not a described TvnError
    };
    Kind kind = Kind::Played;
    QString detail;  // the first failure, one line
    bool reachedEnd = false;

    static const char* name(Kind kind);
};

// Takes one clip through what a coach does with it: open, jump to the middle,
// step forward, jump back a little, jump near the end, save the frame as JPEG,
// step past the last frame, play it from the start at four times the rate with
// a jump while it plays, lay it over itself as the second clip (deinterlaced)
// and play and save that, export its first frames as a video with a slow
// range (which must end, complete or with a described failure), and close. A failed step is noted and the next one runs, as a host would go on.
class ClipRun {
public:
    ClipRun(tvn::Trelvan& control, Watchdog& watchdog, QString jpegPath, int playMs);

    ClipOutcome run(const QString& clip);

private:
    template <class Body>
    void step(const char* name, Body&& body);
    // From the start at four times the rate, with a jump to jumpTo on the way.
    void play(int32_t jumpTo);
    void overlay(const QString& clip, int32_t frames);
    void saveJpeg();
    void exportVideo(int32_t frames);

    tvn::Trelvan& control_;
    Watchdog& watchdog_;
    const QString jpegPath_;
    const int playMs_;
    ClipOutcome outcome_;
};

}  // namespace tvnfuzz
