#include "analysis/AnalysisDocument.h"

#include "analysis/DocumentReader.h"
#include "analysis/DrawingsCodec.h"
#include "analysis/MotionCodec.h"
#include "core/TvnError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <limits>
#include <unistd.h>

namespace tvn::analysis {

namespace {

using Reader = DocumentReader;

QString hexColour(int32_t bgr) {
    return QStringLiteral("#%1%2%3")
        .arg(bgr & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((bgr >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
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

}  // namespace

QByteArray AnalysisDocument::encode(const AnalysisSnapshot& s) {
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
        {"drawings", DrawingsCodec::encode(s.drawings, s.freeHand, s.twipsPerPixelX, s.twipsPerPixelY)},
        {"motion", MotionCodec::encode(s.motion)},
        {"keyMoments", moments},
        {"comparison", comparison},
    };
    QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Compact);
    // "tracks" is a key of the motion object alone (every other "tracks" is inside a string, escaped as text).
    static const QByteArray placeholder = "\"tracks\":[]";
    const qsizetype at = text.indexOf(placeholder, text.indexOf("\"motion\":{"));
    text.replace(at, placeholder.size(), "\"tracks\":" + MotionCodec::tracksText(s.motion.tracks));
    return text;
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
        throw DocumentReader::invalid(where, QStringLiteral("not a readable analysis document: %1 at line %2, column %3")
                                 .arg(error.errorString()).arg(line).arg(column));
    }
    if (!doc.isObject()) throw DocumentReader::invalid(where, QStringLiteral("not an analysis document (no object at the top)"));
    const Reader root(doc.object(), QString());
    try {
        if (!root.has("format") || root["format"].string() != QLatin1String(kFormat))
            throw DocumentReader::invalid(QStringLiteral("format"), QStringLiteral("not an analysis document (format '%1' expected)").arg(QLatin1String(kFormat)));
        const int64_t version = root["version"].integer(1, std::numeric_limits<int32_t>::max());
        if (version > kVersion)
            throw DocumentReader::invalid(QStringLiteral("version"), QStringLiteral("made by a newer Trelvan (format version %1; this one reads up to %2)")
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
        s.motion = MotionCodec::decode(root["motion"]);
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
        DrawingsCodec::decode(root["drawings"], s.twipsPerPixelX, s.twipsPerPixelY, s.drawings, s.freeHand);
        return s;
    } catch (const TvnError& e) {
        throw DocumentReader::invalid(where, e.description());
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
