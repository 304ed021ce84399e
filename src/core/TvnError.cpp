#include "core/TvnError.h"

#include "core/LogCategories.h"

namespace tvn {

TvnError::TvnError(int32_t number, QString description, QString source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {
    what_ = QStringLiteral("error %1: %2 [%3]").arg(number_).arg(description_, source_).toStdString();
}

TvnError TvnError::prefixed(const char* procedureName) const {
    return TvnError(number_, description_,
                    QStringLiteral("(%1)->").arg(QLatin1String(procedureName)) + source_);
}

TvnError TvnError::notImplemented(const char* memberName) {
    return TvnError(err::InvalidCall,
                    QStringLiteral("%1 is not implemented yet").arg(QLatin1String(memberName)));
}

void rethrowWithPrefix(const char* procedureName) {
    try {
        throw;
    } catch (const TvnError& e) {
        throw e.prefixed(procedureName);
    } catch (const std::exception& e) {
        throw TvnError(err::InvalidCall, QString::fromUtf8(e.what())).prefixed(procedureName);
    } catch (...) {
        throw TvnError(err::InvalidCall, QStringLiteral("Unknown failure")).prefixed(procedureName);
    }
}

TvnError errorInFlight(const char* procedureName) {
    try {
        rethrowWithPrefix(procedureName);
    } catch (const TvnError& e) {
        return e;
    }
}

void noteIgnoredFailure() noexcept {
    if (!lcControl().isDebugEnabled()) return;  // nothing made when nobody listens
    try {
        const TvnError e = errorInFlight("ignored");
        qCDebug(lcControl).noquote() << "A failure was ignored where that is the rule:" << e.what();
    } catch (...) {
        // A trace that cannot be written is no reason to fail the step that ignores.
    }
}

}  // namespace tvn
