#!/usr/bin/env python3
"""A small Videohub router written from Blackmagic's public "Videohub
Developer Information", independent of the project's own router code: the
live tests check vesk-host against it.

    videohub_server.py [--inputs N] [--outputs M] [--cue-input I] [--lifetime S]

It listens on 127.0.0.1 on a free port and prints "port N" as its first line.
On connect a client gets the preamble, the device, input and output labels,
locks, routing, the configuration and "END PRELUDE:". A client's block is
answered with ACK (or NAK when a line is bad) and each change is pushed to
every client. A header with no lines asks for that block; "PING:" gets ACK.

A script drives the router through input I (0-based, default the last): a
label a client sets there is a cue, not a label:
    route OUT IN            a take made on the router itself
    label IN TEXT           a label changed on the router itself
    restart MS [OUT IN]     every connection and the listener close; after MS
                            the router listens again on the same port (with
                            the route OUT IN changed meanwhile when given)
It ends by itself after --lifetime seconds (default 120), or when stopped.
"""
import argparse
import selectors
import socket
import sys
import time


class Router:
    def __init__(self, inputs, outputs):
        self.inputs = inputs
        self.outputs = outputs
        self.input_labels = ["Camera %d" % (i + 1) for i in range(inputs)]
        self.output_labels = ["Monitor %d" % (o + 1) for o in range(outputs)]
        self.routes = [o % inputs for o in range(outputs)]

    def block(self, header):
        if header == "PROTOCOL PREAMBLE:":
            lines = ["Version: 2.7"]
        elif header == "VIDEOHUB DEVICE:":
            lines = ["Device present: true", "Model name: Test Videohub", "Friendly name: Test",
                     "Unique ID: 7C2E0D000001", "Video inputs: %d" % self.inputs,
                     "Video processing units: 0", "Video outputs: %d" % self.outputs,
                     "Video monitoring outputs: 0", "Serial ports: 0"]
        elif header == "INPUT LABELS:":
            lines = ["%d %s" % (i, t) for i, t in enumerate(self.input_labels)]
        elif header == "OUTPUT LABELS:":
            lines = ["%d %s" % (o, t) for o, t in enumerate(self.output_labels)]
        elif header == "VIDEO OUTPUT LOCKS:":
            lines = ["%d U" % o for o in range(self.outputs)]
        elif header == "VIDEO OUTPUT ROUTING:":
            lines = ["%d %d" % (o, i) for o, i in enumerate(self.routes)]
        elif header == "CONFIGURATION:":
            lines = ["Take Mode: false"]
        else:
            return None
        return header + "\n" + "".join(l + "\n" for l in lines) + "\n"

    def dump(self):
        return "".join(self.block(h) for h in (
            "PROTOCOL PREAMBLE:", "VIDEOHUB DEVICE:", "INPUT LABELS:", "OUTPUT LABELS:",
            "VIDEO OUTPUT ROUTING:", "VIDEO OUTPUT LOCKS:", "CONFIGURATION:")) + "END PRELUDE:\n\n"


class Server:
    def __init__(self, router, cue_input):
        self.router = router
        self.cue_input = cue_input
        self.sel = selectors.DefaultSelector()
        self.clients = {}  # socket -> pending bytes
        self.listener = None
        self.port = 0
        self.reopen_at = None
        self.pending_route = None
        self.listen()

    def listen(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.port))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.sel.register(self.listener, selectors.EVENT_READ, "listener")

    def close_all(self):
        for sock in list(self.clients):
            self.drop(sock)
        self.sel.unregister(self.listener)
        self.listener.close()
        self.listener = None

    def drop(self, sock):
        self.sel.unregister(sock)
        sock.close()
        del self.clients[sock]

    def send(self, sock, text):
        try:
            sock.sendall(text.encode("utf-8", "replace"))
        except OSError:
            pass

    def push(self, text):
        for sock in list(self.clients):
            self.send(sock, text)

    def cue(self, text):
        words = text.split(" ", 2)
        if words[0] == "route" and len(words) == 3:
            out, inp = int(words[1]), int(words[2])
            self.router.routes[out] = inp
            self.push("VIDEO OUTPUT ROUTING:\n%d %d\n\n" % (out, inp))
        elif words[0] == "label" and len(words) == 3:
            self.router.input_labels[int(words[1])] = words[2]
            self.push("INPUT LABELS:\n%s %s\n\n" % (words[1], words[2]))
        elif words[0] == "restart":
            rest = text.split()
            self.pending_route = (int(rest[2]), int(rest[3])) if len(rest) == 4 else None
            self.reopen_at = time.monotonic() + int(rest[1]) / 1000.0
            self.close_all()

    def request(self, sock, header, lines):
        """Answers one block from a client."""
        if header == "PING:":
            self.send(sock, "ACK\n\n")
            return
        if not lines:
            answer = self.router.block(header)
            self.send(sock, "ACK\n\n" + answer if answer else "NAK\n\n")
            return
        changes, cues = [], []
        try:
            for line in lines:
                index, _, value = line.partition(" ")
                index = int(index)
                if header == "VIDEO OUTPUT ROUTING:":
                    value = int(value)
                    if not (0 <= index < self.router.outputs and 0 <= value < self.router.inputs):
                        raise ValueError
                    changes.append((index, value))
                elif header == "INPUT LABELS:" and 0 <= index < self.router.inputs:
                    (cues if index == self.cue_input else changes).append((index, value))
                else:
                    raise ValueError
        except ValueError:
            self.send(sock, "NAK\n\n")
            return
        self.send(sock, "ACK\n\n")
        if changes:
            table = self.router.routes if header == "VIDEO OUTPUT ROUTING:" else self.router.input_labels
            for index, value in changes:
                table[index] = value
            self.push(header + "\n" + "".join("%d %s\n" % c for c in changes) + "\n")
        for _, text in cues:
            self.cue(text)

    def serve(self, deadline):
        while time.monotonic() < deadline:
            if self.listener is None and time.monotonic() >= self.reopen_at:
                if self.pending_route:
                    self.router.routes[self.pending_route[0]] = self.pending_route[1]
                self.listen()
            for key, _ in self.sel.select(timeout=0.05):
                if key.data == "listener":
                    sock, _ = self.listener.accept()
                    self.clients[sock] = b""
                    self.sel.register(sock, selectors.EVENT_READ, "client")
                    self.send(sock, self.router.dump())
                elif key.fileobj in self.clients:
                    sock = key.fileobj
                    data = sock.recv(65536)
                    if not data:
                        self.drop(sock)
                        continue
                    self.clients[sock] += data
                    text = self.clients[sock].replace(b"\r\n", b"\n")
                    while b"\n\n" in text and sock in self.clients:
                        raw, text = text.split(b"\n\n", 1)
                        self.clients[sock] = text
                        lines = raw.decode("utf-8", "replace").strip("\n").split("\n")
                        self.request(sock, lines[0], lines[1:])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--inputs", type=int, default=16)
    parser.add_argument("--outputs", type=int, default=16)
    parser.add_argument("--cue-input", type=int, default=None)
    parser.add_argument("--lifetime", type=float, default=120)
    args = parser.parse_args()
    cue = args.inputs - 1 if args.cue_input is None else args.cue_input
    server = Server(Router(args.inputs, args.outputs), cue)
    print("port %d" % server.port, flush=True)
    server.serve(time.monotonic() + args.lifetime)


if __name__ == "__main__":
    main()
