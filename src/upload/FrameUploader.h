#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvn {

// Sends a file's bytes to a server with libcurl. The server is a host name
// (FTP) or a URL whose scheme picks the protocol: ftp://, ftps://, sftp://,
// http:// or https:// (HTTP uploads with PUT). The file lands at
// <server>/<path>/<fileName>; missing FTP folders are created. A port of 0 or
// less keeps the protocol's default. Success means the server confirmed the
// transfer (FTP 226, HTTP 2xx, SFTP done). The password is handed to libcurl
// apart from the URL and never appears in lastError() or any log.
//
// libcurl's global initialisation is not thread-safe, so it is not done here
// on first use: MediaRuntime::initialise() calls initialiseLibrary() once,
// before other threads run. Until then an upload fails and says so.
class FrameUploader {
public:
    // curl_global_init; false when libcurl could not be initialised. Called once, by MediaRuntime.
    static bool initialiseLibrary();

    bool upload(const QByteArray& data, const QString& server, const QString& user, const QString& password,
                const QString& path, const QString& fileName, int32_t port);
    // Why the last upload failed, for logs; empty after a success.
    const QString& lastError() const { return lastError_; }
    // The URL an upload goes to (no credentials in it).
    static QString targetUrl(const QString& server, const QString& path, const QString& fileName);

    int connectTimeoutSeconds = 10;
    int transferTimeoutSeconds = 60;

private:
    QString lastError_;
};

}  // namespace tvn
