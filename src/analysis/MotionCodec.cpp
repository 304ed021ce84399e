#include "analysis/MotionCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>

namespace tvn::analysis {

namespace {

constexpr double kTwipLimit = DocumentReader::kCoordinateLimit;  // picture pixels

}  // namespace

QJsonObject MotionCodec::encode(const AnalysisMotion& m) {
    QJsonObject calibration;
    if (m.calibrated) {
        calibration = {{"unit", m.calibration.unit()}, {"unitsPerPixel", m.calibration.scale()}};
        if (const auto& h = m.calibration.homography()) {
            QJsonArray a;
            for (double v : *h) a.append(v);
            calibration.insert("homography", a);
        }
    }
    // The tracks are spliced in as text by encode (tracksText): tens of thousands of numbers.
    const QJsonArray tracks;
    QJsonObject out{{"tracks", tracks}, {"smoothingWindow", m.smoothing.window},
                    {"smoothingOrder", m.smoothing.order}, {"showLineLengths", m.showLineLengths}};
    if (m.calibrated) out.insert("calibration", calibration);
    return out;
}

AnalysisMotion MotionCodec::decode(const DocumentReader& r) {
    AnalysisMotion m;
    m.smoothing.window = int(r["smoothingWindow"].integer(1, 1001));
    m.smoothing.order = int(r["smoothingOrder"].integer(0, 10));
    m.showLineLengths = r["showLineLengths"].boolean();
    if (r.has("calibration")) {
        const DocumentReader c = r["calibration"];
        std::optional<std::array<double, 9>> h;
        if (c.has("homography")) {
            c["homography"].array(9);
            std::array<double, 9> values{};
            for (int i = 0; i < 9; ++i) values[i] = c["homography"].at(i).number();
            h = values;
        }
        try {
            m.calibration = motion::Calibration::fromParts(c["unitsPerPixel"].number(0, 1e12), c["unit"].string(), h);
        } catch (const TvnError& e) {
            throw DocumentReader::invalid(c.path(), e.description());
        }
        m.calibrated = true;
    }
    const DocumentReader tracks = r["tracks"];
    const int count = tracks.size();
    for (int t = 0; t < count; ++t) {
        const DocumentReader tr = tracks.at(t);
        motion::Track track;
        const DocumentReader samples = tr["samples"];
        const QJsonArray frames = samples["frame"].array(), times = samples["timeMs"].array(), xs = samples["x"].array(),
                         ys = samples["y"].array(), confidences = samples["confidence"].array();
        const qsizetype count = frames.size();
        if (times.size() != count || xs.size() != count || ys.size() != count || confidences.size() != count)
            throw DocumentReader::invalid(samples.path(), QStringLiteral("its columns differ in length"));
        track.samples.resize(size_t(count));
        int lastFrame = -1;
        // Checked value by value without a path each: the path is made only for a fault.
        const auto number = [&](const QJsonArray& column, const char* name, qsizetype i, double lo, double hi) {
            const QJsonValue v = column.at(i);
            const double d = v.toDouble();
            if (!v.isDouble() || !(d >= lo && d <= hi))
                throw DocumentReader::invalid(QStringLiteral("%1.%2[%3]").arg(samples.path(), QLatin1String(name)).arg(i),
                              QStringLiteral("a number from %1 to %2 is expected").arg(lo).arg(hi));
            return d;
        };
        for (qsizetype i = 0; i < count; ++i) {
            motion::TrackSample& sample = track.samples[size_t(i)];
            const double frame = number(frames, "frame", i, 0, std::numeric_limits<int32_t>::max());
            sample.frame = int(frame);
            if (frame != sample.frame || sample.frame <= lastFrame)
                throw DocumentReader::invalid(QStringLiteral("%1.frame[%2]").arg(samples.path()).arg(i),
                              QStringLiteral("whole frame numbers rising from sample to sample are expected"));
            lastFrame = sample.frame;
            sample.timeMs = number(times, "timeMs", i, 0, std::numeric_limits<double>::max());
            sample.x = number(xs, "x", i, -kTwipLimit, kTwipLimit);
            sample.y = number(ys, "y", i, -kTwipLimit, kTwipLimit);
            sample.confidence = number(confidences, "confidence", i, 0, 1);
        }
        if (tr.has("loss"))
            track.loss = motion::TrackLoss{int(tr["loss"]["frame"].integer(0, std::numeric_limits<int32_t>::max())),
                                           tr["loss"]["timeMs"].number(0), tr["loss"]["reason"].string()};
        m.tracks.push_back(std::move(track));
    }
    return m;
}

QByteArray MotionCodec::tracksText(const std::vector<motion::Track>& tracks) {
    QByteArray out;
    size_t samples = 0;
    for (const motion::Track& t : tracks) samples += t.samples.size();
    out.reserve(qsizetype(samples * 5 * 12 + tracks.size() * 128 + 16));
    char number[32];
    const auto put = [&](double v) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, v);
        out.append(number, end - number);
    };
    out += '[';
    for (size_t i = 0; i < tracks.size(); ++i) {
        const motion::Track& t = tracks[i];
        if (i) out += ',';
        out += "{\"samples\":{";
        const auto column = [&](const char* name, auto value, bool last) {
            out += '"';
            out += name;
            out += "\":[";
            for (size_t n = 0; n < t.samples.size(); ++n) {
                if (n) out += ',';
                put(value(t.samples[n]));
            }
            out += last ? "]" : "],";
        };
        column("frame", [](const motion::TrackSample& s) { return double(s.frame); }, false);
        column("timeMs", [](const motion::TrackSample& s) { return s.timeMs; }, false);
        column("x", [](const motion::TrackSample& s) { return s.x; }, false);
        column("y", [](const motion::TrackSample& s) { return s.y; }, false);
        column("confidence", [](const motion::TrackSample& s) { return s.confidence; }, true);
        out += '}';
        if (t.loss) {
            out += ",\"loss\":";
            out += QJsonDocument(QJsonObject{{"frame", t.loss->frame}, {"timeMs", t.loss->timeMs}, {"reason", t.loss->reason}})
                       .toJson(QJsonDocument::Compact);
        }
        out += '}';
    }
    out += ']';
    return out;
}

}  // namespace tvn::analysis
