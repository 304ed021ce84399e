#pragma once

#include "core/TrelvanExport.h"

#include <QMetaType>
#include <QString>
#include <exception>
#include <string>

namespace tvn {

// Error numbers follow the host's conventions; component failures use numbers
// above the object-error base so a host can tell them apart.
namespace err {
constexpr int32_t InvalidCall = 5;
constexpr int32_t Overflow = 6;
constexpr int32_t SubscriptOutOfRange = 9;
constexpr int32_t DivisionByZero = 11;
constexpr int32_t FileNotFound = 53;
constexpr int32_t PathFileAccess = 75;
constexpr int32_t InvalidPicture = 481;
constexpr int32_t ObjectErrorBase = -2147221504;           // 0x80040000
constexpr int32_t ArcError = ObjectErrorBase + 1000;       // -2147220504, geometry
constexpr int32_t ComponentNotAvailable = ObjectErrorBase + 2001;
constexpr int32_t ClipOpenFailed = ObjectErrorBase + 2002;
constexpr int32_t MixerSourceUnknown = ObjectErrorBase + 2003;
constexpr int32_t CaptureFailed = ObjectErrorBase + 2004;
constexpr int32_t ConversionFailed = ObjectErrorBase + 2005;
constexpr int32_t AudioDeviceFailed = ObjectErrorBase + 2006;
constexpr int32_t ProfileInvalid = ObjectErrorBase + 2007;
constexpr int32_t PlaybackFailed = ObjectErrorBase + 2008;
constexpr int32_t UploadFailed = ObjectErrorBase + 2009;
constexpr int32_t ExportFailed = ObjectErrorBase + 2010;  // a video export could not be made or written
}  // namespace err

// The one exception type a failure travels in: a number, a description that
// says what failed and on what, and a source text that gathers one
// "(Procedure)->" prefix per procedure level it passed through.
class TVN_EXPORT TvnError : public std::exception {
public:
    TvnError(int32_t number, QString description, QString source = QStringLiteral("Trelvan"));

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    const QString& source() const { return source_; }

    // Returns a copy whose source carries "(name)->" in front.
    TvnError prefixed(const char* procedureName) const;

    const char* what() const noexcept override { return what_.c_str(); }

    static TvnError notImplemented(const char* memberName);

private:
    int32_t number_;
    QString description_;
    QString source_;
    std::string what_;
};

// Converts whatever is in flight (TvnError, std::exception, anything) into a
// TvnError and rethrows it with the procedure's prefix. Call only from a catch block.
[[noreturn]] TVN_EXPORT void rethrowWithPrefix(const char* procedureName);

// The failure in flight as a TvnError with "(procedureName)->" in front of its
// source, for a failure that is reported rather than thrown on. Call only from a catch block.
TVN_EXPORT TvnError errorInFlight(const char* procedureName);

// Runs body; a failure leaves with "(procedureName)->" in front of its source.
template <class Body>
decltype(auto) withPrefix(const char* procedureName, Body&& body) {
    try {
        return body();
    } catch (...) {
        rethrowWithPrefix(procedureName);
    }
}

// Logs the failure in flight at debug level (trelvan.control), for a step that
// ignores it. Call only from a catch block.
TVN_EXPORT void noteIgnoredFailure() noexcept;

// Runs body and swallows any failure: for the steps that are documented to
// ignore errors. The failure leaves a trace at debug level (noteIgnoredFailure).
template <class Body>
bool ignoringErrors(Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (...) {
        noteIgnoredFailure();
        return false;
    }
}

}  // namespace tvn

// Failures travel in signals too (a worker's, reported to the host).
Q_DECLARE_METATYPE(tvn::TvnError)
