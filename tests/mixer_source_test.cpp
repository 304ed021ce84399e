// The FFmpeg video mixer driven directly, checked on its pixels: clips made at
// test time whose frame n shows the number n (fakes/TestClips.h).

#include "core/TvnError.h"
#include "fakes/ErrorFrom.h"
#include "fakes/EventLoopWait.h"
#include "fakes/TestClips.h"
#include "media/ffmpeg/ClipDecoder.h"
#include "media/ffmpeg/FfmpegVideoMixer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace tvn;
using tvn::testing::errorFrom;
using namespace tvn::testclips;

namespace {

constexpr int kW = 320;
constexpr int kH = 240;

QString clip(ClipFormat f, int fps = 30, int frames = 150) {
    static std::map<std::tuple<ClipFormat, int, int>, QString> made;
    const auto key = std::make_tuple(f, fps, frames);
    auto it = made.find(key);
    if (it == made.end()) {
        ClipOptions o;
        o.fps = fps;
        o.frames = frames;
        const QString base = QStringLiteral("%1-%2fps-%3").arg(formatName(f)).arg(fps).arg(frames);
        it = made.emplace(key, makeClip(testFolder().path(), f, o, base)).first;
    }
    return it->second;
}

// The frame n of a clip as the decoder gives it, for pixel comparisons.
QImage referenceFrame(const QString& file, int n) {
    ClipDecoder d;
    d.open(file);
    return d.seek(d.info().durationMs / d.info().frameCount * n + 1.0).image.convertToFormat(QImage::Format_RGB32);
}

// Lets the workers' queued frames reach the mixer for ms of real time.
void runEventsFor(int ms) { tvn::testing::waitFor([] { return false; }, ms); }

struct MixerOnWidget {
    MixerOnWidget() : mixer(&host) {
        host.resize(kW, kH);
        mixer.Display()->setGeometry(0, 0, kW, kH);
    }
    QImage picture() { return mixer.MixedFramePicture(-1).image().convertToFormat(QImage::Format_RGB32); }
    void seekFrame(int32_t id, int n) {
        mixer.SeekSource(id, mixer.GetSourceDuration(id) / mixer.GetSourceFrameCount(id) * n);
    }
    QWidget host;
    FfmpegVideoMixer mixer;
};

QImage blackImage() {
    QImage black(kW, kH, QImage::Format_RGB32);
    black.fill(Qt::black);
    return black;
}

int maxChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

QImage blend(const QImage& under, const QImage& over, double alpha) {
    QImage out(under.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb a = under.pixel(x, y), b = over.pixel(x, y);
            auto mix = [&](int u, int o) { return static_cast<int>(std::lround(u * (1 - alpha) + o * alpha)); };
            out.setPixel(x, y, qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b))));
        }
    return out;
}

}  // namespace

TEST(MixerSource, BadFilesFailNamingTheFileAndAddNothing) {
    const QString missing = testFolder().path() + "/no such clip.mp4";
    const QString empty = testFolder().path() + "/empty.mp4";
    const QString text = testFolder().path() + "/notes.mp4";
    QFile(empty).open(QIODevice::WriteOnly);
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("this is not a video, only some words\n");
    t.close();
    struct Case {
        QString file;
        int32_t number;
    };
    for (const Case& c : {Case{missing, err::FileNotFound}, Case{empty, err::ClipOpenFailed},
                          Case{text, err::ClipOpenFailed}, Case{QString(), err::FileNotFound}}) {
        MixerOnWidget m;
        const auto e = errorFrom([&] { m.mixer.AddSource(c.file, 0); });
        ASSERT_TRUE(e) << "AddSource accepted " << c.file.toStdString();
        EXPECT_EQ(e->number(), c.number) << c.file.toStdString();
        EXPECT_TRUE(e->description().contains(QStringLiteral("'%1'").arg(c.file))) << e->description().toStdString();
        EXPECT_TRUE(e->source().startsWith(QStringLiteral("(AddSource)->"))) << e->source().toStdString();
        EXPECT_EQ(m.mixer.sourceCount(), 0);
    }
}

TEST(MixerSource, UnknownIdentifiersAreRejectedAndRemovingThemDoesNothing) {
    MixerOnWidget m;
    const int32_t kept = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    const int32_t removed = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.mixer.RemoveSource(removed);
    int32_t w = 0, h = 0;
    const std::vector<std::pair<const char*, std::function<void(int32_t)>>> operations = {
        {"GetSourceSize", [&](int32_t id) { m.mixer.GetSourceSize(id, w, h); }},
        {"GetSourceDuration", [&](int32_t id) { m.mixer.GetSourceDuration(id); }},
        {"GetSourceFrameCount", [&](int32_t id) { m.mixer.GetSourceFrameCount(id); }},
        {"SetSourceDeinterlace", [&](int32_t id) { m.mixer.SetSourceDeinterlace(id, 1); }},
        {"SetSourceAlpha", [&](int32_t id) { m.mixer.SetSourceAlpha(id, 0.5f); }},
        {"SetSourceRect", [&](int32_t id) { m.mixer.SetSourceRect(id, 0, 0, kW, kH); }},
        {"SeekSource", [&](int32_t id) { m.mixer.SeekSource(id, 0); }},
        {"PlaySource", [&](int32_t id) { m.mixer.PlaySource(id); }},
        {"PauseSource", [&](int32_t id) { m.mixer.PauseSource(id); }},
        {"MixedFramePicture", [&](int32_t id) { m.mixer.MixedFramePicture(id); }},
    };
    for (const auto& [name, call] : operations) {
        for (int32_t id : {-1, 0, removed, kept + 100}) {
            if (id == -1 && std::string(name) == "MixedFramePicture") continue;  // -1 is the mixed picture
            const auto e = errorFrom([&] { call(id); });
            ASSERT_TRUE(e) << name << " accepted source " << id;
            EXPECT_EQ(e->number(), err::MixerSourceUnknown) << name << " " << id;
            EXPECT_TRUE(e->description().contains(QLatin1String(name))) << e->description().toStdString();
        }
    }
    // Removing what is not there takes nothing away and raises nothing.
    for (int32_t id : {-1, 0, removed, kept + 100}) EXPECT_NO_THROW(m.mixer.RemoveSource(id)) << id;
    EXPECT_EQ(m.mixer.sourceCount(), 1);
}

TEST(MixerSource, ReportsSizeDurationAndFrameCountPerSource) {
    MixerOnWidget m;
    ClipOptions big;
    big.width = 480;
    big.height = 272;
    big.frames = 50;
    big.fps = 25;
    const QString bigClip = makeClip(testFolder().path(), ClipFormat::Vp9Mkv, big, QStringLiteral("big"));
    const int32_t a = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    const int32_t b = m.mixer.AddSource(bigClip, 0);
    EXPECT_NE(a, b);
    int32_t w = 0, h = 0;
    m.mixer.GetSourceSize(a, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(kW, kH));
    m.mixer.GetSourceSize(b, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(480, 272));
    EXPECT_EQ(m.mixer.GetSourceFrameCount(a), 150);
    EXPECT_EQ(m.mixer.GetSourceFrameCount(b), 50);
    EXPECT_NEAR(m.mixer.GetSourceDuration(a), 5000.0, 1.0);
    EXPECT_NEAR(m.mixer.GetSourceDuration(b), 2000.0, 1.0);
    // A new identifier after a removal is never one given before.
    m.mixer.RemoveSource(a);
    const int32_t c = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
}

class MixerSeek : public ::testing::TestWithParam<ClipFormat> {};

TEST_P(MixerSeek, DurationOverCountTimesNShowsFrameN) {
    MixerOnWidget m;
    const int32_t id = m.mixer.AddSource(clip(GetParam()), 0);
    const double count = m.mixer.GetSourceFrameCount(id);
    const double frameMs = m.mixer.GetSourceDuration(id) / count;
    EXPECT_EQ(frameNumber(m.picture()), 0) << "a new source shows its first frame";
    for (int n : {1, 37, 59, 60, 61, 120, 149, 2, 0, 148}) {
        m.seekFrame(id, n);
        EXPECT_EQ(frameNumber(m.picture()), n) << "frame " << n;
    }
    // Just before a frame's start shows that frame; a millisecond before still the one before.
    m.mixer.SeekSource(id, frameMs * 90 - 0.0009);
    EXPECT_EQ(frameNumber(m.picture()), 90);
    m.mixer.SeekSource(id, frameMs * 90 - 1.0);
    EXPECT_EQ(frameNumber(m.picture()), 89);
    // Past the end stays on the last frame; before the start on the first.
    m.seekFrame(id, 150);
    EXPECT_EQ(frameNumber(m.picture()), 149);
    m.mixer.SeekSource(id, -500);
    EXPECT_EQ(frameNumber(m.picture()), 0);
    // Turning the deinterlacer on decodes the same frame again, not another.
    m.seekFrame(id, 77);
    m.mixer.SetSourceDeinterlace(id, 1);
    EXPECT_EQ(frameNumber(m.picture()), 77);
    m.mixer.SetSourceDeinterlace(id, 0);
    EXPECT_EQ(frameNumber(m.picture()), 77);
}

INSTANTIATE_TEST_SUITE_P(Formats, MixerSeek,
                         ::testing::Values(ClipFormat::H264Mp4, ClipFormat::Vp9Mkv, ClipFormat::Mpeg4Avi,
                                           ClipFormat::Mpeg2Ts),
                         [](const auto& info) { return formatName(info.param).replace('-', '_').toStdString(); });

TEST(MixerSource, RectanglesPlaceScaleMirrorAndCutOffOnThePixels) {
    const QString file = clip(ClipFormat::H264Mp4, 30, 150);
    constexpr int k = 83;
    const QImage frame = referenceFrame(file, k);
    ASSERT_EQ(frameNumber(frame), k);
    ASSERT_NE(frameNumber(frame.mirrored(true, false)), k);
    const QRgb black = qRgb(0, 0, 0);
    struct Case {
        const char* name;
        QRectF rect;
        std::function<void(const QImage&)> check;
    };
    const std::vector<Case> cases = {
        {"whole display", QRectF(0, 0, kW, kH), [&](const QImage& p) { EXPECT_LE(maxChannelDifference(p, frame), 2); }},
        {"mirrored by a negative width", QRectF(kW, 0, -kW, kH),
         [&](const QImage& p) {
             EXPECT_LE(maxChannelDifference(p, frame.mirrored(true, false)), 2);
             EXPECT_EQ(frameNumber(p.mirrored(true, false)), k);
         }},
        {"scaled into the top-left quarter", QRectF(0, 0, kW / 2, kH / 2),
         [&](const QImage& p) {
             EXPECT_EQ(frameNumber(p.copy(0, 0, kW / 2, kH / 2)), k);
             EXPECT_EQ(p.pixel(kW - 5, kH - 5), black);
             EXPECT_EQ(p.pixel(kW / 2 + 3, 5), black);
         }},
        {"half outside to the right", QRectF(kW / 2, 0, kW, kH),
         [&](const QImage& p) {
             EXPECT_EQ(p.pixel(5, 5), black);
             EXPECT_LE(maxChannelDifference(p.copy(kW / 2, 0, kW / 2, kH), frame.copy(0, 0, kW / 2, kH)), 2);
         }},
        {"moved up and left past the corner", QRectF(-100, -60, kW, kH),
         [&](const QImage& p) {
             EXPECT_LE(maxChannelDifference(p.copy(0, 0, kW - 100, kH - 60), frame.copy(100, 60, kW - 100, kH - 60)), 2);
             EXPECT_EQ(p.pixel(kW - 5, kH - 5), black);
         }},
        {"entirely outside", QRectF(kW + 10, 0, kW, kH),
         [&](const QImage& p) { EXPECT_EQ(maxChannelDifference(p, blackImage()), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MixerOnWidget m;
        const int32_t id = m.mixer.AddSource(file, 0);
        m.seekFrame(id, k);
        m.mixer.SetSourceRect(id, c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height());
        const QImage p = m.picture();
        ASSERT_EQ(p.size(), QSize(kW, kH));
        c.check(p);
    }
}

TEST(MixerSource, LaterSourcesBlendOverEarlierOnesAtTheirOpacity) {
    const QString file = clip(ClipFormat::H264Mp4);
    const QImage under = referenceFrame(file, 21);
    const QImage over = referenceFrame(file, 106);
    MixerOnWidget m;
    const int32_t a = m.mixer.AddSource(file, 0);
    const int32_t b = m.mixer.AddSource(file, 0);
    m.seekFrame(a, 21);
    m.seekFrame(b, 106);
    EXPECT_EQ(frameNumber(m.picture()), 106) << "a new source is opaque and drawn over the earlier one";
    for (float alpha : {0.5f, 0.3f, 0.0f, 1.0f}) {
        m.mixer.SetSourceAlpha(b, alpha);
        EXPECT_LE(maxChannelDifference(m.picture(), blend(under, over, alpha)), 3) << "alpha " << alpha;
    }
    m.mixer.SetSourceAlpha(b, 7.0f);  // clamped to opaque
    EXPECT_EQ(frameNumber(m.picture()), 106);
    m.mixer.SetSourceAlpha(a, 0.5f);  // the earlier source's opacity blends it with the background
    m.mixer.SetSourceAlpha(b, 0.0f);
    EXPECT_LE(maxChannelDifference(m.picture(), blend(blackImage(), under, 0.5)), 3);
    m.mixer.RemoveSource(b);
    m.mixer.SetSourceAlpha(a, 1.0f);
    EXPECT_EQ(frameNumber(m.picture()), 21);
    // MixerSetting2 is the background colour where no source covers the display.
    m.mixer.SetMixerSetting2(0x0000FF);  // red, 0x00BBGGRR
    m.mixer.SetSourceRect(a, 0, 0, kW / 2, kH);
    EXPECT_EQ(m.picture().pixel(kW - 3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(frameNumber(m.picture().copy(0, 0, kW / 2, kH)), 21);
}

TEST(MixerSource, ComposesOncePerShownFrameNotPerPaintAndPaintsThatPicture) {
    MixerOnWidget m;
    m.host.show();
    const int32_t id = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.seekFrame(id, 44);
    const int64_t before = m.mixer.compositionCount();
    QImage grabbed;
    for (int i = 0; i < 5; ++i) {
        m.mixer.Display()->repaint();
        grabbed = m.mixer.Display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    EXPECT_EQ(m.mixer.compositionCount(), before);
    EXPECT_EQ(grabbed, m.picture()) << "the widget shows exactly the composed picture";
    // Call9 holds composition until Call11: sources added in between are composed once.
    m.mixer.Call9();
    const int32_t second = m.mixer.AddSource(clip(ClipFormat::H264Mp4), 0);
    m.mixer.SetSourceAlpha(second, 0.5f);
    m.mixer.SeekSource(second, 0);
    EXPECT_EQ(m.mixer.compositionCount(), before);
    EXPECT_EQ(frameNumber(m.picture()), 44);
    m.mixer.Call11();
    EXPECT_EQ(m.mixer.compositionCount(), before + 1);
    EXPECT_EQ(frameNumber(m.picture()), -1) << "frames 44 and 0 blended read as no code";
    // A resize composes at the new size.
    m.mixer.Display()->resize(200, 150);
    EXPECT_EQ(m.picture().size(), QSize(200, 150));
}

TEST(MixerSource, PlayingSourcesOfDifferentRatesStayInStepAndPausedOnesStay) {
    MixerOnWidget m;
    m.host.show();
    const int32_t a = m.mixer.AddSource(clip(ClipFormat::H264Mp4, 30, 150), 0);
    const int32_t b = m.mixer.AddSource(clip(ClipFormat::H264Mp4, 25, 125), 0);
    const int32_t still = m.mixer.AddSource(clip(ClipFormat::Vp9Mkv), 0);
    m.mixer.SetSourceRect(a, 0, 0, kW / 2, kH / 2);
    m.mixer.SetSourceRect(b, kW / 2, 0, kW / 2, kH / 2);
    m.mixer.SetSourceRect(still, 0, kH / 2, kW / 2, kH / 2);
    m.seekFrame(still, 12);
    m.mixer.PlaySource(still);
    m.mixer.PauseSource(still);
    m.mixer.PlaySource(a);
    m.mixer.PlaySource(b);
    const int64_t before = m.mixer.compositionCount();
    runEventsFor(1000);
    m.mixer.PauseSource(a);
    m.mixer.PauseSource(b);
    const QImage p = m.picture();
    const int na = frameNumber(p.copy(0, 0, kW / 2, kH / 2));
    const int nb = frameNumber(p.copy(kW / 2, 0, kW / 2, kH / 2));
    EXPECT_EQ(frameNumber(p.copy(0, kH / 2, kW / 2, kH / 2)), 12) << "a paused source stays on its frame";
    ASSERT_GE(na, 20) << "the 30 fps clip advanced about a second";
    ASSERT_GE(nb, 16) << "the 25 fps clip advanced about a second";
    // In step: their positions differ by less than one frame of the slower clip (40 ms).
    EXPECT_LE(std::abs(na * 1000.0 / 30 - nb * 1000.0 / 25), 40.0 + 1.0) << na << " vs " << nb;
    // Composed about once per new frame of either source, never more than the frames shown.
    EXPECT_LE(m.mixer.compositionCount() - before, na + nb + 2);
    // After the pause nothing moves.
    runEventsFor(200);
    EXPECT_EQ(m.picture(), p);
    // Playing on resumes from the frame shown.
    m.mixer.PlaySource(a);
    runEventsFor(300);
    m.mixer.PauseSource(a);
    const int later = frameNumber(m.picture().copy(0, 0, kW / 2, kH / 2));
    EXPECT_GT(later, na);
    EXPECT_LE(later, na + 15);
    // StopAll stops every source; a seek of a stopped source shows its frame and stays.
    m.mixer.PlaySource(a);
    m.mixer.PlaySource(b);
    m.mixer.StopAll();
    m.seekFrame(b, 100);
    runEventsFor(150);
    EXPECT_EQ(frameNumber(m.picture().copy(kW / 2, 0, kW / 2, kH / 2)), 100);
}
