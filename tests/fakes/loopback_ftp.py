# A loopback FTP server for the upload tests: one user, coach / s3cret-Pw, who may
# create folders and files under the folder given; prints the port it listens on.
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
a = DummyAuthorizer()
a.add_user('coach', 's3cret-Pw', sys.argv[1], perm='elradfmwMT')
FTPHandler.authorizer = a
FTPHandler.auth_failed_timeout = 0.1
s = FTPServer(('127.0.0.1', 0), FTPHandler)
print(s.socket.getsockname()[1], flush=True)
s.serve_forever(timeout=0.2)
