#pragma once

#include "core/TvnError.h"

#include <optional>
#include <utility>

namespace tvn::testing {

// The TvnError a call raises, or nothing when it returns normally; lets a test
// check a failure's number, description and source without a try block.
template <class Call>
std::optional<TvnError> errorFrom(Call&& call) {
    try {
        std::forward<Call>(call)();
    } catch (const TvnError& e) {
        return e;
    }
    return std::nullopt;
}

}  // namespace tvn::testing
