#include "analysis/AnalysisDocument.h"

#include "core/TvnError.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>
#include <limits>
#include <unistd.h>

namespace tvn::analysis {

namespace {

TvnError invalid(const QString& where, const QString& what) {
    return TvnError(err::InvalidCall, QStringLiteral("%1: %2").arg(where, what), QStringLiteral("AnalysisDocument"));
}

// Twips <-> picture pixels.
struct Units {
    double tx, ty;
    double px(double twips) const { return twips / tx; }
    double py(double twips) const { return twips / ty; }
    int32_t twipsX(double pixels) const { return int32_t(std::lround(pixels * tx)); }
    int32_t twipsY(double pixels) const { return int32_t(std::lround(pixels * ty)); }
    float fTwipsX(double pixels) const { return float(pixels * tx); }
    float fTwipsY(double pixels) const { return float(pixels * ty); }
};

QString hexColour(int32_t bgr) {
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

// ---- encoding ----

QJsonObject line(const LineObject& l, const Units& u) {
    return {{"x1", u.px(l.X1)}, {"y1", u.py(l.Y1)}, {"x2", u.px(l.X2)}, {"y2", u.py(l.Y2)},
            {"colour", l.BorderColor}, {"visible", l.Visible}};
}

QJsonObject encodeDrawings(const AnnotationStore& s, const QImage& freeHand, const Units& u) {
    QJsonArray lines, shapes, angles, texts, history, trail;
    for (const LineObject& l : s.Lines) lines.append(line(l, u));
    for (int i = 0; i < AnnotationStore::kPoolSize; ++i) {
        const ShapeObject& o = s.Shape1[i];
        shapes.append(QJsonObject{{"kind", o.Shape == ShapeObject::Oval ? "oval" : "rectangle"},
                                  {"left", u.px(o.Left)}, {"top", u.py(o.Top)},
                                  {"width", u.px(o.Width)}, {"height", u.py(o.Height)},
                                  {"colour", o.BorderColor}, {"visible", o.Visible},
                                  {"anchorX", u.px(s.shapeAnchorX[i])}, {"anchorY", u.py(s.shapeAnchorY[i])}});
    }
    for (const AngleAnnotation& a : s.angleNotes)
        angles.append(QJsonObject{{"x1", u.px(a.x1)}, {"y1", u.py(a.y1)}, {"x2", u.px(a.x2)}, {"y2", u.py(a.y2)},
                                  {"x3", u.px(a.x3)}, {"y3", u.py(a.y3)}, {"x4", u.px(a.x4)}, {"y4", u.py(a.y4)},
                                  {"committed", a.kind == 1}, {"text", a.text}, {"colour", a.color},
                                  {"font", a.fontName}, {"fontSize", a.fontSize}, {"shown", a.shown}});
    for (const TextAnnotation& t : s.textNotes)
        texts.append(QJsonObject{{"text", t.text}, {"x", u.px(t.x)}, {"y", u.py(t.y)}, {"colour", t.color},
                                 {"font", t.fontName}, {"fontSize", t.fontSize}});
    for (int16_t k : s.historyKinds) history.append(k);
    for (const KiteTail& k : s.trackTrail)
        trail.append(QJsonObject{{"frame", k.frameNum}, {"colour", k.color}, {"width", k.width},
                                 {"x", u.px(k.x)}, {"y", u.py(k.y)}});
    QJsonObject free;
    if (!freeHand.isNull()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        freeHand.save(&buffer, "PNG");
        free = {{"width", freeHand.width()}, {"height", freeHand.height()},
                {"png", QString::fromLatin1(png.toBase64())}};
    }
    return {
        {"lines", QJsonObject{{"next", s.nextLineSlot}, {"items", lines}}},
        {"shapes", QJsonObject{{"next", s.nextShapeSlot}, {"items", shapes}}},
        {"angles", QJsonObject{{"next", s.nextAngleSlot}, {"items", angles}}},
        {"texts", QJsonObject{{"newest", s.textSlot}, {"items", texts}}},
        {"history", QJsonObject{{"position", s.historyPos}, {"kinds", history}}},
        {"target", QJsonObject{{"x", u.px(s.targetX)}, {"y", u.py(s.targetY)}}},
        {"trail", QJsonObject{{"created", s.trackTrailCreated}, {"points", trail}}},
        {"circline", QJsonObject{{"shape", s.circlineShape}, {"left", u.px(s.circlineLeft)}, {"top", u.py(s.circlineTop)},
                                 {"centreX", u.px(s.circlineCenterX)}, {"centreY", u.py(s.circlineCenterY)},
                                 {"spread", u.px(s.circlineSpread)}, {"drop", u.py(s.circlineDrop)},
                                 {"colour", double(s.circlineColor)}}},
        {"freeHand", free},
    };
}

QJsonObject encodeSettings(const AnalysisSettings& s) {
    return {{"drawingTool", s.drawingTool}, {"drawingColour", s.drawingColor}, {"drawingWidth", s.drawingWidth},
            {"textColour", s.textColor}, {"fontSize", s.fontSize}, {"fontName", s.fontName},
            {"angleText", s.angleText}, {"readableDrawing", s.readableDrawing},
            {"grid", QJsonObject{{"shown", s.displayGrid}, {"colour", s.gridColor}, {"spacing", s.gridSpacing}}},
            {"clock", QJsonObject{{"shown", s.displayClock}, {"startMs", s.clockStartTimeMs}}},
            {"target", QJsonObject{{"shown", s.displayTarget}}},
            {"trail", QJsonObject{{"active", s.trackingActive}, {"length", s.trackingLength}}}};
}

QJsonObject encodeMotion(const AnalysisMotion& m) {
    QJsonObject calibration;
    if (m.calibrated) {
        calibration = {{"unit", m.calibration.unit()}, {"unitsPerPixel", m.calibration.scale()}};
        if (const auto& h = m.calibration.homography()) {
            QJsonArray a;
            for (double v : *h) a.append(v);
            calibration.insert("homography", a);
        }
    }
    QJsonArray tracks;
    for (const motion::Track& t : m.tracks) {
        // By column: compact, and read back without an object per sample.
        QJsonArray frames, times, xs, ys, confidences;
        for (const motion::TrackSample& s : t.samples) {
            frames.append(s.frame);
            times.append(s.timeMs);
            xs.append(s.x);
            ys.append(s.y);
            confidences.append(s.confidence);
        }
        QJsonObject track{{"samples", QJsonObject{{"frame", frames}, {"timeMs", times}, {"x", xs}, {"y", ys},
                                                  {"confidence", confidences}}}};
        if (t.loss) track.insert("loss", QJsonObject{{"frame", t.loss->frame}, {"timeMs", t.loss->timeMs},
                                                     {"reason", t.loss->reason}});
        tracks.append(track);
    }
    QJsonObject out{{"tracks", tracks}, {"smoothingWindow", m.smoothing.window},
                    {"smoothingOrder", m.smoothing.order}, {"showLineLengths", m.showLineLengths}};
    if (m.calibrated) out.insert("calibration", calibration);
    return out;
}

// ---- decoding: every value checked, named by its path ----

class Reader {
public:
    Reader(QJsonValue value, QString path) : value_(std::move(value)), path_(std::move(path)) {}

    Reader operator[](const char* key) const {
        if (!value_.isObject()) throw invalid(path_, QStringLiteral("an object is expected"));
        const QJsonObject o = value_.toObject();
        const QString child = path_.isEmpty() ? QString::fromLatin1(key) : path_ + u'.' + QLatin1String(key);
        if (!o.contains(QLatin1String(key))) throw invalid(child, QStringLiteral("missing"));
        return {o.value(QLatin1String(key)), child};
    }
    bool has(const char* key) const { return value_.isObject() && value_.toObject().contains(QLatin1String(key)); }
    Reader at(int i) const { return {array().at(i), QStringLiteral("%1[%2]").arg(path_).arg(i)}; }
    QJsonArray array(int exactly = -1) const {
        if (!value_.isArray()) throw invalid(path_, QStringLiteral("an array is expected"));
        const QJsonArray a = value_.toArray();
        if (exactly >= 0 && a.size() != exactly)
            throw invalid(path_, QStringLiteral("%1 entries are expected, not %2").arg(exactly).arg(a.size()));
        return a;
    }
    int size() const { return int(array().size()); }
    double number(double lo = -std::numeric_limits<double>::max(), double hi = std::numeric_limits<double>::max()) const {
        if (!value_.isDouble()) throw invalid(path_, QStringLiteral("a number is expected"));
        const double v = value_.toDouble();
        if (!(v >= lo && v <= hi)) throw invalid(path_, QStringLiteral("%1 is outside %2 to %3").arg(v).arg(lo).arg(hi));
        return v;
    }
    int64_t integer(double lo, double hi) const {
        const double v = number(lo, hi);
        if (v != std::floor(v)) throw invalid(path_, QStringLiteral("%1 is not a whole number").arg(v));
        return int64_t(v);
    }
    int32_t int32() const { return int32_t(integer(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())); }
    int16_t int16() const { return int16_t(integer(std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max())); }
    bool boolean() const {
        if (!value_.isBool()) throw invalid(path_, QStringLiteral("true or false is expected"));
        return value_.toBool();
    }
    QString string() const {
        if (!value_.isString()) throw invalid(path_, QStringLiteral("a string is expected"));
        return value_.toString();
    }
    const QString& path() const { return path_; }

private:
    QJsonValue value_;
    QString path_;
};

constexpr double kTwipLimit = 1e7;  // picture pixels: far beyond any picture, short of int32 twips

LineObject readLine(const Reader& r, const Units& u) {
    LineObject l;
    l.X1 = u.fTwipsX(r["x1"].number(-kTwipLimit, kTwipLimit));
    l.Y1 = u.fTwipsY(r["y1"].number(-kTwipLimit, kTwipLimit));
    l.X2 = u.fTwipsX(r["x2"].number(-kTwipLimit, kTwipLimit));
    l.Y2 = u.fTwipsY(r["y2"].number(-kTwipLimit, kTwipLimit));
    l.BorderColor = r["colour"].int32();
    l.Visible = r["visible"].boolean();
    return l;
}

int16_t slot(const Reader& r, int count) { return int16_t(r.integer(0, count - 1)); }

void decodeDrawings(const Reader& d, const Units& u, AnnotationStore& s, QImage& freeHand) {
    constexpr int n = AnnotationStore::kPoolSize;
    const Reader lines = d["lines"], shapes = d["shapes"], angles = d["angles"], texts = d["texts"];
    s.nextLineSlot = slot(lines["next"], n);
    lines["items"].array(n);
    for (int i = 0; i < n; ++i) s.Lines[i] = readLine(lines["items"].at(i), u);
    s.nextShapeSlot = slot(shapes["next"], n);
    shapes["items"].array(n);
    for (int i = 0; i < n; ++i) {
        const Reader r = shapes["items"].at(i);
        ShapeObject& o = s.Shape1[i];
        const QString kind = r["kind"].string();
        if (kind != u"oval" && kind != u"rectangle") throw invalid(r["kind"].path(), QStringLiteral("'%1' is no shape").arg(kind));
        o.Shape = kind == u"oval" ? ShapeObject::Oval : ShapeObject::Rectangle;
        o.Left = u.fTwipsX(r["left"].number(-kTwipLimit, kTwipLimit));
        o.Top = u.fTwipsY(r["top"].number(-kTwipLimit, kTwipLimit));
        o.Width = u.fTwipsX(r["width"].number(-kTwipLimit, kTwipLimit));
        o.Height = u.fTwipsY(r["height"].number(-kTwipLimit, kTwipLimit));
        o.BorderColor = r["colour"].int32();
        o.Visible = r["visible"].boolean();
        s.shapeAnchorX[i] = int16_t(std::clamp(u.twipsX(r["anchorX"].number(-3000, 3000)), -32768, 32767));
        s.shapeAnchorY[i] = int16_t(std::clamp(u.twipsY(r["anchorY"].number(-3000, 3000)), -32768, 32767));
    }
    s.nextAngleSlot = slot(angles["next"], n);
    angles["items"].array(n);
    for (int i = 0; i < n; ++i) {
        const Reader r = angles["items"].at(i);
        AngleAnnotation& a = s.angleNotes[i];
        a.x1 = u.twipsX(r["x1"].number(-kTwipLimit, kTwipLimit));
        a.y1 = u.twipsY(r["y1"].number(-kTwipLimit, kTwipLimit));
        a.x2 = u.twipsX(r["x2"].number(-kTwipLimit, kTwipLimit));
        a.y2 = u.twipsY(r["y2"].number(-kTwipLimit, kTwipLimit));
        a.x3 = u.twipsX(r["x3"].number(-kTwipLimit, kTwipLimit));
        a.y3 = u.twipsY(r["y3"].number(-kTwipLimit, kTwipLimit));
        a.x4 = u.twipsX(r["x4"].number(-kTwipLimit, kTwipLimit));
        a.y4 = u.twipsY(r["y4"].number(-kTwipLimit, kTwipLimit));
        a.kind = r["committed"].boolean() ? 1 : 0;
        a.text = r["text"].string();
        a.color = r["colour"].int32();
        a.fontName = r["font"].string();
        a.fontSize = r["fontSize"].int16();
        a.shown = r["shown"].boolean();
    }
    s.textSlot = slot(texts["newest"], n);
    texts["items"].array(n);
    for (int i = 0; i < n; ++i) {
        const Reader r = texts["items"].at(i);
        TextAnnotation& t = s.textNotes[i];
        t.text = r["text"].string();
        t.x = u.twipsX(r["x"].number(-kTwipLimit, kTwipLimit));
        t.y = u.twipsY(r["y"].number(-kTwipLimit, kTwipLimit));
        t.color = r["colour"].int32();
        t.fontName = r["font"].string();
        t.fontSize = r["fontSize"].int16();
    }
    const Reader history = d["history"];
    s.historyPos = slot(history["position"], AnnotationStore::kHistorySize);
    history["kinds"].array(AnnotationStore::kHistorySize);
    for (int i = 0; i < AnnotationStore::kHistorySize; ++i) s.historyKinds[i] = int16_t(history["kinds"].at(i).integer(0, 3));
    s.targetX = u.twipsX(d["target"]["x"].number(-kTwipLimit, kTwipLimit));
    s.targetY = u.twipsY(d["target"]["y"].number(-kTwipLimit, kTwipLimit));
    const Reader trail = d["trail"];
    s.trackTrailCreated = trail["created"].boolean();
    const int points = trail["points"].size();
    s.trackTrail.clear();
    s.trackTrail.reserve(points);
    for (int i = 0; i < points; ++i) {
        const Reader r = trail["points"].at(i);
        s.trackTrail.append(KiteTail{r["frame"].int32(), r["colour"].int32(), r["width"].int32(),
                                     u.twipsX(r["x"].number(-kTwipLimit, kTwipLimit)),
                                     u.twipsY(r["y"].number(-kTwipLimit, kTwipLimit))});
    }
    const Reader c = d["circline"];
    s.circlineShape = int16_t(c["shape"].integer(-1, n - 1));
    s.circlineLeft = u.fTwipsX(c["left"].number(-kTwipLimit, kTwipLimit));
    s.circlineTop = u.fTwipsY(c["top"].number(-kTwipLimit, kTwipLimit));
    s.circlineCenterX = u.fTwipsX(c["centreX"].number(-kTwipLimit, kTwipLimit));
    s.circlineCenterY = u.fTwipsY(c["centreY"].number(-kTwipLimit, kTwipLimit));
    s.circlineSpread = u.fTwipsX(c["spread"].number(-kTwipLimit, kTwipLimit));
    s.circlineDrop = u.fTwipsY(c["drop"].number(-kTwipLimit, kTwipLimit));
    s.circlineColor = float(c["colour"].number());
    const Reader free = d["freeHand"];
    freeHand = {};
    if (free.has("png")) {
        const int w = int(free["width"].integer(1, 16384)), h = int(free["height"].integer(1, 16384));
        const QByteArray png = QByteArray::fromBase64(free["png"].string().toLatin1());
        QImage image;
        if (!image.loadFromData(png, "PNG") || image.width() != w || image.height() != h)
            throw invalid(free["png"].path(), QStringLiteral("not a PNG picture of %1 x %2 pixels").arg(w).arg(h));
        freeHand = image;
    }
}

AnalysisSettings decodeSettings(const Reader& r) {
    AnalysisSettings s;
    s.drawingTool = r["drawingTool"].string();
    s.drawingColor = r["drawingColour"].int32();
    s.drawingWidth = r["drawingWidth"].int16();
    s.textColor = r["textColour"].int32();
    s.fontSize = r["fontSize"].int16();
    s.fontName = r["fontName"].string();
    s.angleText = r["angleText"].string();
    s.readableDrawing = r["readableDrawing"].boolean();
    s.displayGrid = r["grid"]["shown"].boolean();
    s.gridColor = r["grid"]["colour"].int32();
    s.gridSpacing = r["grid"]["spacing"].int16();
    s.displayClock = r["clock"]["shown"].boolean();
    s.clockStartTimeMs = r["clock"]["startMs"].int32();
    s.displayTarget = r["target"]["shown"].boolean();
    s.trackingActive = r["trail"]["active"].int32();
    s.trackingLength = r["trail"]["length"].int32();
    return s;
}

AnalysisMotion decodeMotion(const Reader& r) {
    AnalysisMotion m;
    m.smoothing.window = int(r["smoothingWindow"].integer(1, 1001));
    m.smoothing.order = int(r["smoothingOrder"].integer(0, 10));
    m.showLineLengths = r["showLineLengths"].boolean();
    if (r.has("calibration")) {
        const Reader c = r["calibration"];
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
            throw invalid(c.path(), e.description());
        }
        m.calibrated = true;
    }
    const Reader tracks = r["tracks"];
    const int count = tracks.size();
    for (int t = 0; t < count; ++t) {
        const Reader tr = tracks.at(t);
        motion::Track track;
        const Reader samples = tr["samples"];
        const QJsonArray frames = samples["frame"].array(), times = samples["timeMs"].array(), xs = samples["x"].array(),
                         ys = samples["y"].array(), confidences = samples["confidence"].array();
        const qsizetype count = frames.size();
        if (times.size() != count || xs.size() != count || ys.size() != count || confidences.size() != count)
            throw invalid(samples.path(), QStringLiteral("its columns differ in length"));
        track.samples.resize(size_t(count));
        int lastFrame = -1;
        // Checked value by value without a path each: the path is made only for a fault.
        const auto number = [&](const QJsonArray& column, const char* name, qsizetype i, double lo, double hi) {
            const QJsonValue v = column.at(i);
            const double d = v.toDouble();
            if (!v.isDouble() || !(d >= lo && d <= hi))
                throw invalid(QStringLiteral("%1.%2[%3]").arg(samples.path(), QLatin1String(name)).arg(i),
                              QStringLiteral("a number from %1 to %2 is expected").arg(lo).arg(hi));
            return d;
        };
        for (qsizetype i = 0; i < count; ++i) {
            motion::TrackSample& sample = track.samples[size_t(i)];
            const double frame = number(frames, "frame", i, 0, std::numeric_limits<int32_t>::max());
            sample.frame = int(frame);
            if (frame != sample.frame || sample.frame <= lastFrame)
                throw invalid(QStringLiteral("%1.frame[%2]").arg(samples.path()).arg(i),
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

}  // namespace

QByteArray AnalysisDocument::encode(const AnalysisSnapshot& s) {
    const Units u{s.twipsPerPixelX, s.twipsPerPixelY};
    QJsonArray moments;
    for (const KeyMoment& k : s.keyMoments)
        moments.append(QJsonObject{{"frame", k.frame}, {"timeMs", k.timeMs}, {"label", k.label}, {"note", k.note},
                                   {"colour", k.colour}, {"colourRgb", hexColour(k.colour)}});
    const SecondClip& c = s.comparison;
    QJsonObject comparison;
    if (!c.fileName.isEmpty())
        comparison = {{"clip", c.fileName}, {"placed", c.placed}, {"left", c.left}, {"top", c.top},
                      {"width", c.width}, {"height", c.height}, {"opacity", c.opacity}, {"frame", c.frame},
                      {"positionMs", c.positionMs}, {"mirrored", c.mirrored}};
    const QJsonObject root{
        {"format", kFormat},
        {"version", kVersion},
        {"clip", QJsonObject{{"path", s.clipPath}, {"size", double(s.fingerprint.size)},
                             {"durationMs", s.fingerprint.durationMs}, {"frameCount", s.fingerprint.frameCount},
                             {"hash", QString::fromLatin1(s.fingerprint.hash)},
                             {"width", s.pictureWidth}, {"height", s.pictureHeight}}},
        {"frame", s.frame},
        {"twipsPerPixel", QJsonObject{{"x", s.twipsPerPixelX}, {"y", s.twipsPerPixelY}}},
        {"settings", encodeSettings(s.settings)},
        {"drawings", encodeDrawings(s.drawings, s.freeHand, u)},
        {"motion", encodeMotion(s.motion)},
        {"keyMoments", moments},
        {"comparison", comparison},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::pair<int, int> AnalysisDocument::lineAndColumn(const QByteArray& text, int offset) {
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((uchar(text[i]) & 0xC0) != 0x80) {  // count characters, not UTF-8 continuation bytes
            ++column;
        }
    }
    return {line, column};
}

AnalysisSnapshot AnalysisDocument::decode(const QByteArray& text, const QString& where, double twipsPerPixelX,
                                          double twipsPerPixelY) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        const auto [line, column] = lineAndColumn(text, error.offset);
        throw invalid(where, QStringLiteral("not a readable analysis document: %1 at line %2, column %3")
                                 .arg(error.errorString()).arg(line).arg(column));
    }
    if (!doc.isObject()) throw invalid(where, QStringLiteral("not an analysis document (no object at the top)"));
    const Reader root(doc.object(), QString());
    try {
        if (!root.has("format") || root["format"].string() != QLatin1String(kFormat))
            throw invalid(QStringLiteral("format"), QStringLiteral("not an analysis document (format '%1' expected)").arg(QLatin1String(kFormat)));
        const int64_t version = root["version"].integer(1, std::numeric_limits<int32_t>::max());
        if (version > kVersion)
            throw invalid(QStringLiteral("version"), QStringLiteral("made by a newer Trelvan (format version %1; this one reads up to %2)")
                                                         .arg(version).arg(kVersion));
        AnalysisSnapshot s;
        const Reader clip = root["clip"];
        s.clipPath = clip["path"].string();
        s.fingerprint.size = clip["size"].integer(0, 9e15);
        s.fingerprint.durationMs = clip["durationMs"].number(0);
        s.fingerprint.frameCount = int32_t(clip["frameCount"].integer(0, std::numeric_limits<int32_t>::max()));
        s.fingerprint.hash = clip["hash"].string().toLatin1();
        s.pictureWidth = int32_t(clip["width"].integer(0, 65535));
        s.pictureHeight = int32_t(clip["height"].integer(0, 65535));
        s.frame = int32_t(root["frame"].integer(0, std::numeric_limits<int32_t>::max()));
        root["twipsPerPixel"]["x"].number(0.01, 1000);
        root["twipsPerPixel"]["y"].number(0.01, 1000);
        // Drawings are read back in this control's twips; a picture pixel stays a picture pixel.
        s.twipsPerPixelX = twipsPerPixelX;
        s.twipsPerPixelY = twipsPerPixelY;
        s.settings = decodeSettings(root["settings"]);
        s.motion = decodeMotion(root["motion"]);
        const Reader moments = root["keyMoments"];
        const int count = moments.size();
        for (int i = 0; i < count; ++i) {
            const Reader k = moments.at(i);
            s.keyMoments.push_back(KeyMoment{int(k["frame"].integer(0, std::numeric_limits<int32_t>::max())),
                                             k["timeMs"].number(0), k["label"].string(), k["note"].string(),
                                             k["colour"].int32()});
        }
        const Reader c = root["comparison"];
        if (c.has("clip")) {
            s.comparison.fileName = c["clip"].string();
            s.comparison.placed = c["placed"].boolean();
            s.comparison.left = c["left"].int32();
            s.comparison.top = c["top"].int32();
            s.comparison.width = c["width"].int32();
            s.comparison.height = c["height"].int32();
            s.comparison.opacity = int32_t(c["opacity"].integer(0, 100));
            s.comparison.frame = int32_t(c["frame"].integer(-1, std::numeric_limits<int32_t>::max()));
            s.comparison.positionMs = c["positionMs"].number(-1);
            s.comparison.mirrored = c["mirrored"].boolean();
        }
        s.drawings = AnnotationStore{};
        decodeDrawings(root["drawings"], Units{s.twipsPerPixelX, s.twipsPerPixelY}, s.drawings, s.freeHand);
        return s;
    } catch (const TvnError& e) {
        throw invalid(where, e.description());
    }
}

void AnalysisDocument::write(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    const auto fail = [&](const QString& step) {
        file.cancelWriting();
        return TvnError(err::PathFileAccess, QStringLiteral("Cannot %1 '%2': %3").arg(step, path, file.errorString()),
                        QStringLiteral("AnalysisDocument"));
    };
    if (!file.open(QIODevice::WriteOnly)) throw fail(QStringLiteral("write"));
    if (file.write(text) != text.size() || !file.flush()) throw fail(QStringLiteral("write all of"));
    if (::fsync(file.handle()) != 0) throw fail(QStringLiteral("sync"));
    if (!file.commit()) throw fail(QStringLiteral("replace"));
}

QByteArray AnalysisDocument::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvnError(err::FileNotFound, QStringLiteral("Cannot read the analysis document '%1': %2").arg(path, file.errorString()),
                       QStringLiteral("AnalysisDocument"));
    return file.readAll();
}

}  // namespace tvn::analysis
