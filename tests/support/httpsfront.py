#!/usr/bin/env python3
"""TLS in front of a loopback HTTP test server, for tests.

Every connection accepted here is decrypted and passed on, byte for byte, to
the plain server on 127.0.0.1:BACKEND_PORT, and its answer goes back
encrypted; the plain server decides everything else. Prints "port <n>" once
it listens on 127.0.0.1 (port 0: a port of its own), then serves until it is
terminated.

    httpsfront.py CERT_FILE KEY_FILE BACKEND_PORT
"""

import select
import socket
import ssl
import sys
import threading


def relay(client, backend_port, context):
    try:
        tls = context.wrap_socket(client, server_side=True)
    except (OSError, ssl.SSLError):
        client.close()
        return
    backend = None
    try:
        backend = socket.create_connection(("127.0.0.1", backend_port))
        # One thread per connection uses the TLS socket: OpenSSL's objects
        # are not for two threads at once.
        client_open = True
        while True:
            if client_open and tls.pending():
                ready = [tls]
            else:
                readers = [backend] + ([tls] if client_open else [])
                ready, _, _ = select.select(readers, [], [])
            if tls in ready:
                data = tls.recv(65536)
                if data:
                    backend.sendall(data)
                else:
                    client_open = False
                    backend.shutdown(socket.SHUT_WR)
            if backend in ready:
                data = backend.recv(65536)
                if not data:
                    break
                tls.sendall(data)
        # A clean TLS end, so that a body ended by the close reads as whole.
        tls.settimeout(2)
        tls.unwrap()
    except (OSError, ssl.SSLError, ValueError):
        pass
    finally:
        for sock in (tls, backend):
            if sock is not None:
                try:
                    sock.close()
                except OSError:
                    pass


def main():
    cert_file, key_file, backend_port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_file, key_file)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=relay, args=(client, backend_port, context), daemon=True).start()


if __name__ == "__main__":
    main()
