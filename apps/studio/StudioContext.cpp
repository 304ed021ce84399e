#include "StudioContext.h"

#include "core/TvnError.h"

namespace studio {

bool StudioContext::run(const QString& what, const std::function<void()>& call) const {
    try {
        call();
        return true;
    } catch (const tvn::TvnError& e) {
        showMessage(QStringLiteral("%1 failed: error %2: %3 [%4]")
                        .arg(what)
                        .arg(e.number())
                        .arg(e.description(), e.source()));
    } catch (const std::exception& e) {
        showMessage(QStringLiteral("%1 failed: %2").arg(what, QString::fromUtf8(e.what())));
    }
    return false;
}

}  // namespace studio
