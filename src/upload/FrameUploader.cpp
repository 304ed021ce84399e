#include "upload/FrameUploader.h"

#include <QUrl>
#include <curl/curl.h>
#include <atomic>
#include <memory>

namespace tvn {

namespace {
struct SlistFreer {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlFreer {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

struct Reader {
    const QByteArray* data;
    qsizetype offset = 0;
};

size_t readChunk(char* buffer, size_t size, size_t count, void* user) {
    auto* r = static_cast<Reader*>(user);
    const qsizetype n = std::min<qsizetype>(qsizetype(size * count), r->data->size() - r->offset);
    memcpy(buffer, r->data->constData() + r->offset, size_t(n));
    r->offset += n;
    return size_t(n);
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// Set once by initialiseLibrary, before the threads that upload exist.
std::atomic<bool> libraryReady{false};

QString segmentsOf(const QString& path) {
    QString out;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        out += QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(part));
    return out;
}
}  // namespace

bool FrameUploader::initialiseLibrary() {
    libraryReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return libraryReady;
}

QString FrameUploader::targetUrl(const QString& server, const QString& path, const QString& fileName) {
    QString base = server.trimmed();
    if (!base.contains(QStringLiteral("://"))) base = QStringLiteral("ftp://") + base;
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    return base + segmentsOf(path) + segmentsOf(fileName);
}

bool FrameUploader::upload(const QByteArray& data, const QString& server, const QString& user,
                           const QString& password, const QString& path, const QString& fileName, int32_t port) {
    lastError_.clear();
    if (!libraryReady) {
        lastError_ = QStringLiteral("libcurl is not initialised: tvn::MediaRuntime::initialise() has not run");
        return false;
    }
    std::unique_ptr<CURL, CurlFreer> curl(curl_easy_init());
    if (!curl) {
        lastError_ = QStringLiteral("libcurl could not be started");
        return false;
    }
    const QString url = targetUrl(server, path, fileName);
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    const bool http = url.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
    Reader reader{&data};
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_USERNAME, userBytes.constData());
    curl_easy_setopt(c, CURLOPT_PASSWORD, passwordBytes.constData());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readChunk);
    curl_easy_setopt(c, CURLOPT_READDATA, &reader);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(connectTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(transferTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
    if (url.startsWith(QLatin1String("ftps"), Qt::CaseInsensitive)) curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (port > 0) curl_easy_setopt(c, CURLOPT_PORT, long(port));
    // A picture is small: send it at once rather than ask "Expect: 100-continue"
    // first, which costs a second against servers that never answer the question.
    std::unique_ptr<curl_slist, SlistFreer> headers(http ? curl_slist_append(nullptr, "Expect:") : nullptr);
    if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode result = curl_easy_perform(c);
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    bool confirmed = result == CURLE_OK;
    if (confirmed && http) confirmed = code >= 200 && code < 300;
    if (confirmed && url.startsWith(QLatin1String("ftp"), Qt::CaseInsensitive)) confirmed = code == 226 || code == 250;
    if (!confirmed) {
        QString why = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
        if (result == CURLE_OK) why = QStringLiteral("server answered %1").arg(code);
        if (!password.isEmpty()) why.replace(password, QStringLiteral("***"));
        lastError_ = QStringLiteral("Upload to '%1' failed: %2").arg(url, why);
    }
    return confirmed;
}

}  // namespace tvn
