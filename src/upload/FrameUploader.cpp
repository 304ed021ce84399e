#include "upload/FrameUploader.h"

#include <QStringList>
#include <QUrl>
#include <curl/curl.h>
#include <memory>

namespace tvn {

namespace {
struct SlistFreer {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlFreer {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiFreer {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
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

// How often a running transfer looks at its cancel flag.
constexpr int kPollMs = 50;

// Set once by initialiseLibrary, before the threads that upload exist.
std::atomic<bool> libraryReady{false};

QString segmentsOf(const QString& path) {
    QString out;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        out += QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(part));
    return out;
}

// Where the user part of a URL's authority is: [begin, at) before the '@'; at < 0: none.
void userPart(const QString& url, qsizetype& begin, qsizetype& at) {
    at = -1;
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    begin = scheme < 0 ? 0 : scheme + 3;
    qsizetype end = url.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype i = url.indexOf(stop, begin);
        if (i >= 0 && i < end) end = i;
    }
    // The last '@' of the authority ends the user part (an '@' typed into a password comes before it).
    const qsizetype i = url.lastIndexOf(QLatin1Char('@'), end - 1);
    if (i >= begin) at = i;
}

// The password written into a server URL, as typed; empty when none.
QString passwordIn(const QString& url) {
    qsizetype begin = 0, at = -1;
    userPart(url, begin, at);
    if (at < 0) return {};
    const qsizetype colon = url.indexOf(QLatin1Char(':'), begin);
    return colon >= 0 && colon < at ? url.mid(colon + 1, at - colon - 1) : QString();
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

QString FrameUploader::shownUrl(const QString& url) {
    qsizetype begin = 0, at = -1;
    userPart(url, begin, at);
    if (at < 0) return url;
    const qsizetype colon = url.indexOf(QLatin1Char(':'), begin);
    if (colon < 0 || colon > at) return url;
    return url.left(colon + 1) + QStringLiteral("***") + url.mid(at);
}

bool FrameUploader::upload(const QByteArray& data, const QString& server, const QString& user,
                           const QString& password, const QString& path, const QString& fileName, int32_t port,
                           const std::atomic<bool>* cancel) {
    lastError_.clear();
    const QString url = targetUrl(server, path, fileName);
    const auto failWith = [&](const QString& why) {
        // Every form a password could take in a message goes, before the message is kept.
        QString text = QStringLiteral("Upload to '%1' failed: %2").arg(shownUrl(url), why);
        QStringList secrets{password};
        const QString inUrl = passwordIn(server.trimmed());
        secrets << inUrl << QUrl::fromPercentEncoding(inUrl.toUtf8())
                << QString::fromLatin1(QUrl::toPercentEncoding(password));
        for (const QString& secret : secrets)
            if (!secret.isEmpty()) text.replace(secret, QStringLiteral("***"));
        lastError_ = text;
        return false;
    };
    if (!libraryReady) return failWith(QStringLiteral("libcurl is not initialised: tvn::MediaRuntime::initialise() has not run"));
    if (port > 65535) return failWith(QStringLiteral("%1 is not a port (1 to 65535; 0 for the protocol's own)").arg(port));
    std::unique_ptr<CURL, CurlFreer> curl(curl_easy_init());
    std::unique_ptr<CURLM, MultiFreer> multi(curl_multi_init());
    if (!curl || !multi) return failWith(QStringLiteral("libcurl could not be started"));
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    const bool http = url.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
    Reader reader{&data};
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    // Given apart, they would replace what the URL holds; only what the host passed goes.
    if (!user.isEmpty() || !password.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, userBytes.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, passwordBytes.constData());
    }
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readChunk);
    curl_easy_setopt(c, CURLOPT_READDATA, &reader);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(connectTimeoutSeconds));
    // Idle: less than a byte a second for that long, either way, ends the transfer;
    // so does a server that takes that long to answer a command (FTP, SFTP).
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(idleTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(idleTimeoutSeconds));
    curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
    if (url.startsWith(QLatin1String("ftps"), Qt::CaseInsensitive)) curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (port > 0) curl_easy_setopt(c, CURLOPT_PORT, long(port));
    // A picture is small: send it at once rather than ask "Expect: 100-continue"
    // first, which costs a second against servers that never answer the question.
    std::unique_ptr<curl_slist, SlistFreer> headers(http ? curl_slist_append(nullptr, "Expect:") : nullptr);
    if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    // The multi interface, so the transfer can be given up between polls.
    curl_multi_add_handle(multi.get(), c);
    CURLcode result = CURLE_OK;
    bool cancelled = false;
    for (int running = 1; running;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running) break;
        if (cancel && cancel->load()) {
            cancelled = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == c) result = msg->data.result;
    curl_multi_remove_handle(multi.get(), c);
    if (cancelled) return failWith(QStringLiteral("cancelled"));

    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    bool confirmed = result == CURLE_OK;
    if (confirmed && http) confirmed = code >= 200 && code < 300;
    if (confirmed && url.startsWith(QLatin1String("ftp"), Qt::CaseInsensitive)) confirmed = code == 226 || code == 250;
    if (confirmed) return true;
    QString why = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
    if (result == CURLE_OK) why = QStringLiteral("server answered %1").arg(code);
    return failWith(why);
}

}  // namespace tvn
