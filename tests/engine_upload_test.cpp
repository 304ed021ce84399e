// Frame upload over FTP to a loopback pyftpdlib server, and over HTTP PUT to a
// loopback Python server, both started by the test.

#include "fakes/TestClips.h"
#include "media/ffmpeg/FfmpegDisplayEngine.h"
#include "media/ffmpeg/FrameUploader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tvn;
using namespace tvn::testclips;

namespace {

// A Python server script run on a free loopback port: the script gets the
// folder it serves as its argument and prints the port it listens on.
class LoopbackServer {
public:
    explicit LoopbackServer(const QString& script) {
        // The system interpreter carries the packaged pyftpdlib.
        server_.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
                      {"-c", script, root_.path()});
        if (server_.waitForReadyRead(10000)) port_ = server_.readLine().trimmed().toInt();
    }
    ~LoopbackServer() {
        server_.kill();
        server_.waitForFinished(5000);
    }
    int port() const { return port_; }
    QString root() const { return root_.path(); }

private:
    QTemporaryDir root_;
    QProcess server_;
    int port_ = 0;
};

// One user, coach / s3cret-Pw, who may create folders and files.
const char* const kFtpServer =
    "import sys\n"
    "from pyftpdlib.authorizers import DummyAuthorizer\n"
    "from pyftpdlib.handlers import FTPHandler\n"
    "from pyftpdlib.servers import FTPServer\n"
    "a = DummyAuthorizer()\n"
    "a.add_user('coach', 's3cret-Pw', sys.argv[1], perm='elradfmwMT')\n"
    "FTPHandler.authorizer = a\n"
    "FTPHandler.auth_failed_timeout = 0.1\n"
    "s = FTPServer(('127.0.0.1', 0), FTPHandler)\n"
    "print(s.socket.getsockname()[1], flush=True)\n"
    "s.serve_forever(timeout=0.2)\n";

// Stores PUT bodies under the folder when the basic credentials are
// coach / s3cret-Pw (201), and answers 401 otherwise.
const char* const kHttpServer =
    "import base64, os, sys, urllib.parse\n"
    "from http.server import BaseHTTPRequestHandler, HTTPServer\n"
    "root = sys.argv[1]\n"
    "good = 'Basic ' + base64.b64encode(b'coach:s3cret-Pw').decode()\n"
    "class H(BaseHTTPRequestHandler):\n"
    "    def log_message(self, *a): pass\n"
    "    def do_PUT(self):\n"
    "        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))\n"
    "        if self.headers.get('Authorization') != good:\n"
    "            self.send_response(401); self.end_headers(); return\n"
    "        path = os.path.join(root, urllib.parse.unquote(self.path).lstrip('/'))\n"
    "        os.makedirs(os.path.dirname(path), exist_ok=True)\n"
    "        open(path, 'wb').write(body)\n"
    "        self.send_response(201); self.end_headers()\n"
    "s = HTTPServer(('127.0.0.1', 0), H)\n"
    "print(s.server_address[1], flush=True)\n"
    "s.serve_forever()\n";

}  // namespace

TEST(EngineUpload, FtpUploadArrivesByteIdenticalAndAWrongPasswordFails) {
    LoopbackServer ftp(kFtpServer);
    ASSERT_GT(ftp.port(), 0) << "pyftpdlib could not be started";
    QTemporaryDir clips;
    QWidget host;
    FfmpegDisplayEngine engine(&host);
    engine.OpenClip(makeClip(clips.path(), ClipFormat::H264Mp4));
    engine.Seek(frameStartMs(ClipFormat::H264Mp4, {}, 12) + 1);

    EXPECT_TRUE(engine.UploadFrame("127.0.0.1", "coach", "s3cret-Pw", "lessons/today", "frame 12.jpg", ftp.port(), 75));
    QFile arrived(QDir(ftp.root()).filePath("lessons/today/frame 12.jpg"));
    ASSERT_TRUE(arrived.open(QIODevice::ReadOnly));
    const QByteArray bytes = arrived.readAll();
    EXPECT_EQ(bytes, engine.jpegOfShownFrame(75));
    EXPECT_EQ(frameNumber(QImage::fromData(bytes, "JPG")), 12);

    // Given as a URL, with the port in it.
    EXPECT_TRUE(engine.UploadFrame(QStringLiteral("ftp://127.0.0.1:%1").arg(ftp.port()), "coach", "s3cret-Pw", "",
                                   "root.jpg", 0, 50));
    EXPECT_TRUE(QFile::exists(QDir(ftp.root()).filePath("root.jpg")));

    // A wrong password is refused by the server: False, and the password is in no message.
    FrameUploader uploader;
    EXPECT_FALSE(uploader.upload("x", "127.0.0.1", "coach", "wrong-Pw-123", "", "bad.jpg", ftp.port()));
    EXPECT_FALSE(uploader.lastError().isEmpty());
    EXPECT_FALSE(uploader.lastError().contains("wrong-Pw-123"));
    EXPECT_FALSE(engine.UploadFrame("127.0.0.1", "coach", "wrong-Pw-123", "", "bad.jpg", ftp.port(), 75));
    EXPECT_FALSE(QFile::exists(QDir(ftp.root()).filePath("bad.jpg")));

    // Nobody listening: False within the connect time-out, no crash.
    uploader.connectTimeoutSeconds = 2;
    EXPECT_FALSE(uploader.upload("x", "127.0.0.1", "coach", "s3cret-Pw", "", "none.jpg", 1));
}

TEST(EngineUpload, HttpPutArrivesByteIdenticalAndARefusalIsFalse) {
    LoopbackServer http(kHttpServer);
    ASSERT_GT(http.port(), 0) << "the Python HTTP server could not be started";
    const QString server = QStringLiteral("http://127.0.0.1:%1/uploads").arg(http.port());
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && frameCodeImage(5).save(&buffer, "JPG"));
    FrameUploader uploader;
    EXPECT_TRUE(uploader.upload(jpeg, server, "coach", "s3cret-Pw", "week 2", "serve 5.jpg", 0))
        << uploader.lastError().toStdString();
    QFile arrived(QDir(http.root()).filePath("uploads/week 2/serve 5.jpg"));
    ASSERT_TRUE(arrived.open(QIODevice::ReadOnly));
    EXPECT_EQ(arrived.readAll(), jpeg);

    // The server answers 401: the transfer was not confirmed.
    EXPECT_FALSE(uploader.upload(jpeg, server, "coach", "wrong-Pw-123", "", "refused.jpg", 0));
    EXPECT_FALSE(uploader.lastError().contains("wrong-Pw-123"));
    EXPECT_FALSE(QFile::exists(QDir(http.root()).filePath("uploads/refused.jpg")));
}

TEST(EngineUpload, TargetUrlsFollowTheServerForm) {
    struct Case {
        const char *server, *path, *file, *url;
    };
    for (const Case& c : {Case{"example.org", "a/b", "f.jpg", "ftp://example.org/a/b/f.jpg"},
                          Case{"sftp://host/", "/up/", "x y.jpg", "sftp://host/up/x%20y.jpg"},
                          Case{"https://h.example/put", "", "ü.jpg", "https://h.example/put/%C3%BC.jpg"}})
        EXPECT_EQ(FrameUploader::targetUrl(c.server, c.path, QString::fromUtf8(c.file)), c.url) << c.server;
}
