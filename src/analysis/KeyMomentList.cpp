#include "analysis/KeyMomentList.h"

#include "core/TvnError.h"

#include <algorithm>

namespace tvn::analysis {

namespace {

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n')) return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

}  // namespace

int KeyMomentList::insert(std::vector<KeyMoment>& moments, KeyMoment moment) {
    const auto at = std::lower_bound(moments.begin(), moments.end(), moment.frame,
                                     [](const KeyMoment& k, int frame) { return k.frame < frame; });
    const int index = int(at - moments.begin());
    if (at != moments.end() && at->frame == moment.frame) *at = std::move(moment);
    else moments.insert(at, std::move(moment));
    return index;
}

void KeyMomentList::sortByFrame(std::vector<KeyMoment>& moments) {
    std::stable_sort(moments.begin(), moments.end(), [](const KeyMoment& a, const KeyMoment& b) { return a.frame < b.frame; });
}

void KeyMomentList::checkIndex(const std::vector<KeyMoment>& moments, const char* call, int index) {
    const int count = int(moments.size());
    if (index < 0 || index >= count)
        throw TvnError(err::SubscriptOutOfRange,
                       QStringLiteral("There is no key moment %1 (%2 are marked)").arg(index).arg(count),
                       QStringLiteral("Analysis.%1").arg(QLatin1String(call)));
}

int KeyMomentList::on(const std::vector<KeyMoment>& moments, int frame) {
    for (int i = 0; i < int(moments.size()); ++i)
        if (moments[i].frame == frame) return i;
    return -1;
}

int KeyMomentList::firstAfter(const std::vector<KeyMoment>& moments, int frame) {
    for (int i = 0; i < int(moments.size()); ++i)
        if (moments[i].frame > frame) return i;
    return -1;
}

int KeyMomentList::lastBefore(const std::vector<KeyMoment>& moments, int frame) {
    for (int i = int(moments.size()) - 1; i >= 0; --i)
        if (moments[i].frame < frame) return i;
    return -1;
}

QByteArray KeyMomentList::csv(const std::vector<KeyMoment>& moments) {
    QByteArray text = "frame,time_ms,label,note,colour\n";
    for (const KeyMoment& k : moments) {
        const QString colour = QStringLiteral("#%1%2%3")
                                   .arg(k.colour & 0xFF, 2, 16, QLatin1Char('0'))
                                   .arg((k.colour >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                                   .arg((k.colour >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
        text += QStringLiteral("%1,%2,%3,%4,%5\n")
                    .arg(k.frame)
                    .arg(k.timeMs, 0, 'f', 3)
                    .arg(csvField(k.label), csvField(k.note), colour)
                    .toUtf8();
    }
    return text;
}

}  // namespace tvn::analysis
