#include "StudioContext.h"

#include "core/TvnError.h"

namespace studio {

bool StudioContext::run(const QString& what, const std::function<void()>& call) const {
    try {
        call();
        return true;
    } catch (const tvn::TvnError& e) {
        showFailure(what, e);
    } catch (const std::exception& e) {
        showFailure(what, tvn::TvnError(0, QString::fromUtf8(e.what())));
    }
    return false;
}

}  // namespace studio
