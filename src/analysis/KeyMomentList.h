#pragma once

#include "analysis/KeyMoment.h"

#include <QByteArray>
#include <vector>

namespace tvn::analysis {

// The rules of an analysis's key moments, kept in a vector its owner holds:
// in frame order, one per frame; index i is the i-th in that order.
class KeyMomentList {
public:
    // Inserts moment in frame order, replacing the one on its frame; returns its index.
    static int insert(std::vector<KeyMoment>& moments, KeyMoment moment);
    // Frame order for moments from elsewhere (a document), equal frames kept as they came.
    static void sortByFrame(std::vector<KeyMoment>& moments);
    // TvnError SubscriptOutOfRange from "Analysis.<call>" when index is no moment.
    static void checkIndex(const std::vector<KeyMoment>& moments, const char* call, int index);
    // The index of the moment on frame, or -1.
    static int on(const std::vector<KeyMoment>& moments, int frame);
    // The first moment after (the last before) frame, or -1.
    static int firstAfter(const std::vector<KeyMoment>& moments, int frame);
    static int lastBefore(const std::vector<KeyMoment>& moments, int frame);
    // frame,time_ms,label,note,colour (#RRGGBB); a header line first.
    static QByteArray csv(const std::vector<KeyMoment>& moments);
};

}  // namespace tvn::analysis
