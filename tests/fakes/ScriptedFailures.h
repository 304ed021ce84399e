#pragma once

#include "core/TvnError.h"

#include <QMap>
#include <QString>

namespace tvn::testing {

// Failures a test scripts on a fake: every call of an operation from now on,
// or only its n-th call (1-based).
class ScriptedFailures {
public:
    void failOn(const QString& op, const TvnError& e) { always_.insert(op, e); }
    void failOnCall(const QString& op, int n, const TvnError& e) { nth_.insert(op, {n, e}); }
    void clear() { always_.clear(); nth_.clear(); }
    // Throws what the test scripted for this call of op.
    void check(const char* op) {
        const QString name = QLatin1String(op);
        const int n = ++calls_[name];
        if (auto it = nth_.find(name); it != nth_.end() && it->first == n) throw it->second;
        if (auto it = always_.find(name); it != always_.end()) throw *it;
    }

private:
    QMap<QString, TvnError> always_;
    QMap<QString, std::pair<int, TvnError>> nth_;
    QMap<QString, int> calls_;
};

}  // namespace tvn::testing
