"""A TCP proxy in front of an S3 gateway that misbehaves on demand, for the store-fault tests.

Usage: fault_proxy.py MODE_FILE GATEWAY_PORT   (prints the port it listens on, then serves)
MODE_FILE holds one word, read for every new connection: "pass" forwards, "stall" takes the
request and never answers, "500" and "403" answer with that S3 error. A new word cuts every open
connection, so pooled ones meet it at once. MODE_FILE.puts gets "PUTS CONDITIONAL CONNECTIONS":
PUTs forwarded, those with If-None-Match: *, and connections forwarded.
"""
import socket
import sys
import threading
import time

mode_file, gateway_port = sys.argv[1], int(sys.argv[2])
generation = [0]
puts = [0, 0, 0]
lock = threading.Lock()
ERRORS = {"500": ("Internal Server Error", "InternalError"), "403": ("Forbidden", "AccessDenied")}


def mode():
    with open(mode_file) as f:
        return f.read().strip()


def count(data=b"", connections=0):  # a request head arrives in one piece from libcurl
    with lock:
        puts[0] += data.count(b"PUT /")
        puts[1] += data.count(b"\r\nIf-None-Match: *\r\n")
        puts[2] += connections
        with open(mode_file + ".puts", "w") as f:
            f.write("%d %d %d\n" % tuple(puts))


def receive(src, born, take):
    """Hands what arrives on `src` to `take` until it ends, `take` says stop, or the mode changes."""
    src.settimeout(0.2)
    try:
        while generation[0] == born:
            try:
                data = src.recv(65536)
            except socket.timeout:
                continue
            if not data or take(data):
                break
    except OSError:
        pass


def pump(src, dst, born, from_client):
    def forward(data):
        if from_client:
            count(data)
        dst.sendall(data)

    receive(src, born, forward)
    for s in (src, dst):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def answer_error(client, code, born):
    head = bytearray()
    receive(client, born, lambda data: head.extend(data) or b"\r\n\r\n" in head)
    body = "<Error><Code>%s</Code></Error>" % ERRORS[code][1]
    client.sendall(("HTTP/1.1 %s %s\r\nContent-Type: application/xml\r\nContent-Length: %d\r\n"
                    "Connection: close\r\n\r\n%s" % (code, ERRORS[code][0], len(body), body)).encode())
    # Take what is still coming, so that the client reads the answer, not a reset.
    receive(client, born, lambda data: False)


def serve(client):
    born, now = generation[0], mode()
    try:
        if now == "pass":
            upstream = socket.create_connection(("127.0.0.1", gateway_port))
            count(connections=1)
            threading.Thread(target=pump, args=(upstream, client, born, False), daemon=True).start()
            pump(client, upstream, born, True)
        elif now in ERRORS:
            answer_error(client, now, born)
        else:  # stall: read everything, answer nothing
            receive(client, born, lambda data: False)
    except OSError:
        pass
    finally:
        client.close()


def watch_mode():
    last = mode()
    while True:
        time.sleep(0.05)
        if mode() != last:
            last = mode()
            generation[0] += 1


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(64)
print(listener.getsockname()[1], flush=True)
threading.Thread(target=watch_mode, daemon=True).start()
while True:
    connection, _ = listener.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
