# A loopback HTTP server for the upload tests: stores PUT bodies under the folder
# given when the basic credentials are coach / s3cret-Pw (201), answers 401
# otherwise; prints the port it listens on.
import base64, os, sys, urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer
root = sys.argv[1]
good = 'Basic ' + base64.b64encode(b'coach:s3cret-Pw').decode()
class H(BaseHTTPRequestHandler):
    def log_message(self, *a): pass
    def do_PUT(self):
        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        if self.headers.get('Authorization') != good:
            self.send_response(401); self.end_headers(); return
        path = os.path.join(root, urllib.parse.unquote(self.path).lstrip('/'))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, 'wb').write(body)
        self.send_response(201); self.end_headers()
s = HTTPServer(('127.0.0.1', 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
