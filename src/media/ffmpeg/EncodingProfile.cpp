#include "media/ffmpeg/EncodingProfile.h"

#include "core/TvnError.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace tvn {

namespace {

// Enough of a line to recognise it; a longer line (a file that is no profile) is cut.
constexpr int kEchoedLineChars = 80;

TvnError profileError(int line, const QString& text, const QString& why) {
    const QString shown = text.size() <= kEchoedLineChars
                              ? text
                              : text.left(kEchoedLineChars) + QStringLiteral("... (%1 characters)").arg(text.size());
    return TvnError(err::ProfileInvalid,
                    QStringLiteral("Encoding profile line %1 '%2': %3").arg(line).arg(shown, why),
                    QStringLiteral("FfmpegRecordingEngine"));
}

// "1400000", "1400k", "1.4M" in bits per second.
bool parseBitRate(const QString& value, int64_t& out) {
    QString v = value.trimmed().toLower();
    double factor = 1;
    if (v.endsWith('k')) factor = 1e3, v.chop(1);
    else if (v.endsWith('m')) factor = 1e6, v.chop(1);
    bool ok = false;
    const double number = v.trimmed().toDouble(&ok);
    if (!ok || !(number * factor >= 8000) || number * factor > 50e6) return false;
    out = static_cast<int64_t>(std::llround(number * factor));
    return true;
}

int evenDown(double v) { return std::max(2, static_cast<int>(v) & ~1); }

}  // namespace

const QString& EncodingProfile::broadbandName() {
    static const QString name = QStringLiteral("Video for broadband NTSC (1500 Kbps total)");
    return name;
}

EncodingProfile EncodingProfile::broadband() { return builtIns()[2]; }

const std::vector<EncodingProfile>& EncodingProfile::builtIns() {
    // Names in the style users know from Windows Media; totals are video + audio.
    static const std::vector<EncodingProfile> profiles = {
        {QStringLiteral("Video for dial-up modems (56 Kbps total)"), 176, 144, 15, 40000, 16000, 1, 22050},
        {QStringLiteral("Video for LAN, cable modem or xDSL (384 Kbps total)"), 320, 240, 0, 320000, 64000, 2, 44100},
        {broadbandName(), 640, 480, 0, 1372000, 128000, 2, 44100},
        {QStringLiteral("Video for broadband PAL (1500 Kbps total)"), 720, 576, 0, 1372000, 128000, 2, 44100},
        {QStringLiteral("High quality video (3 Mbps total, full size)"), 0, 0, 0, 2808000, 192000, 2, 48000},
    };
    return profiles;
}

EncodingProfile EncodingProfile::parse(const QString& text) {
    EncodingProfile p = broadband();
    p.name = QStringLiteral("Custom profile");
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const int eq = line.indexOf('=');
        if (eq < 0) throw profileError(i + 1, line, QStringLiteral("expected 'key = value'"));
        const QString key = line.left(eq).simplified().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        bool ok = false;
        if (key == QLatin1String("size")) {
            static const QRegularExpression re(QStringLiteral("^(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})$"));
            const auto m = re.match(value);
            if (!m.hasMatch()) throw profileError(i + 1, line, QStringLiteral("size must be WIDTHxHEIGHT"));
            p.maxWidth = m.captured(1).toInt();
            p.maxHeight = m.captured(2).toInt();
            const bool bothZero = p.maxWidth == 0 && p.maxHeight == 0;
            if (!bothZero && (p.maxWidth < 16 || p.maxHeight < 16 || p.maxWidth > 7680 || p.maxHeight > 4320))
                throw profileError(i + 1, line, QStringLiteral("size must be 0x0 or between 16x16 and 7680x4320"));
        } else if (key == QLatin1String("frame rate")) {
            // 0 keeps the lesson's rate; below one frame a second no encoder takes it.
            p.frameRate = value.toDouble(&ok);
            if (!ok || !(p.frameRate == 0 || (p.frameRate >= 1 && p.frameRate <= 120)))
                throw profileError(i + 1, line,
                                   QStringLiteral("frame rate must be 0 (the lesson's own) or 1 to 120"));
        } else if (key == QLatin1String("video bit rate")) {
            if (!parseBitRate(value, p.videoBitRate))
                throw profileError(i + 1, line, QStringLiteral("bit rate must be 8k to 50M bits per second"));
        } else if (key == QLatin1String("audio bit rate")) {
            if (!parseBitRate(value, p.audioBitRate) || p.audioBitRate > 512000)
                throw profileError(i + 1, line, QStringLiteral("audio bit rate must be 8k to 512k bits per second"));
        } else if (key == QLatin1String("channels")) {
            p.channels = value.toInt(&ok);
            if (!ok || (p.channels != 1 && p.channels != 2))
                throw profileError(i + 1, line, QStringLiteral("channels must be 1 or 2"));
        } else if (key == QLatin1String("sample rate")) {
            p.sampleRate = value.toInt(&ok);
            if (!ok || p.sampleRate < 8000 || p.sampleRate > 96000)
                throw profileError(i + 1, line, QStringLiteral("sample rate must be 8000 to 96000"));
        } else {
            throw profileError(i + 1, line, QStringLiteral("unknown key '%1'").arg(key));
        }
    }
    return p;
}

void EncodingProfile::outputSize(int width, int height, int& outWidth, int& outHeight) const {
    double scale = 1.0;
    if (maxWidth > 0 && maxHeight > 0 && width > 0 && height > 0)
        scale = std::min({1.0, double(maxWidth) / width, double(maxHeight) / height});
    outWidth = evenDown(width * scale + 1e-9);
    outHeight = evenDown(height * scale + 1e-9);
}

}  // namespace tvn
