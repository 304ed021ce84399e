#include "analysis/DrawingsCodec.h"

#include <QBuffer>
#include <QJsonArray>
#include <algorithm>
#include <cmath>

namespace tvn::analysis {

namespace {

using Reader = DocumentReader;

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

QJsonObject line(const LineObject& l, const Units& u) {
    return {{"x1", u.px(l.X1)}, {"y1", u.py(l.Y1)}, {"x2", u.px(l.X2)}, {"y2", u.py(l.Y2)},
            {"colour", l.BorderColor}, {"visible", l.Visible}};
}

QJsonObject encodeWith(const AnnotationStore& s, const QImage& freeHand, const Units& u) {
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

constexpr double kTwipLimit = DocumentReader::kCoordinateLimit;  // picture pixels

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

void decodeWith(const Reader& d, const Units& u, AnnotationStore& s, QImage& freeHand) {
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
        if (kind != u"oval" && kind != u"rectangle") throw DocumentReader::invalid(r["kind"].path(), QStringLiteral("'%1' is no shape").arg(kind));
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
            throw DocumentReader::invalid(free["png"].path(), QStringLiteral("not a PNG picture of %1 x %2 pixels").arg(w).arg(h));
        freeHand = image;
    }
}

}  // namespace

QJsonObject DrawingsCodec::encode(const AnnotationStore& store, const QImage& freeHand, double twipsPerPixelX,
                                  double twipsPerPixelY) {
    return encodeWith(store, freeHand, Units{twipsPerPixelX, twipsPerPixelY});
}

void DrawingsCodec::decode(const DocumentReader& drawings, double twipsPerPixelX, double twipsPerPixelY,
                           AnnotationStore& store, QImage& freeHand) {
    decodeWith(drawings, Units{twipsPerPixelX, twipsPerPixelY}, store, freeHand);
}

}  // namespace tvn::analysis
