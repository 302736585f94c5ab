"""Shared by the benchmark scripts: the running program's event loop seen
from outside, by a "ping" on its command socket."""
import socket
import threading
import time


def ping(sock):
    s = socket.socket(socket.AF_UNIX)
    s.connect(sock)
    s.sendall(b"ping\n")
    assert s.recv(16) == b"ok\n"
    s.close()


class Stalls:
    """The longest ping round trip while the block runs, one ping every 5 ms."""

    def __init__(self, sock):
        self.sock = sock

    def __enter__(self):
        self.worst, self.stop = 0.0, False

        def loop():
            while not self.stop:
                t = time.perf_counter()
                ping(self.sock)
                self.worst = max(self.worst, (time.perf_counter() - t) * 1000)
                time.sleep(0.005)

        self.thread = threading.Thread(target=loop)
        self.thread.start()
        return self

    def __exit__(self, *a):
        self.stop = True
        self.thread.join()
