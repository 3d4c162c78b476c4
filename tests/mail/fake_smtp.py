#!/usr/bin/python3
"""A scripted SMTP server for the exchanges no real server can be made to show.

Serves one connection on 127.0.0.1. Each line is answered by the first --reply whose START it begins
with, then by the defaults below; "<greeting>" stands for the moment the client connects and "<data>" for
any line of message data; the reply "<silence>" answers nothing and "<close>" closes the connection.
Prints "PORT <port> PID <pid>" once it listens and, when the connection ends, the command lines it
received joined by "|", with only the verb of EHLO and HELO (the client's name follows it).
"""
import argparse
import os
import socket

DEFAULTS = [("<greeting>", "220 fake ESMTP\r\n"), ("EHLO", "250-fake.test\r\n250 HELP\r\n"),
            ("HELO", "250 fake.test\r\n"), ("AUTH", "334 VXNlcm5hbWU6\r\n"), ("DATA", "354 go ahead\r\n"),
            ("QUIT", "221 bye\r\n"), ("<data>", "<silence>")]


def serve(connection, replies, transcript):
    previous = ""

    def answer(line):
        for start, reply in replies:
            if line.startswith(start):
                return reply
        # After AUTH LOGIN's question for the user name comes the one for the password; any is taken.
        if previous.startswith("334 VXNl"):
            return "334 UGFzc3dvcmQ6\r\n"
        return "235 2.7.0 accepted\r\n" if previous.startswith("334") else "250 ok\r\n"

    def say(reply):
        if reply not in ("<silence>", "<close>"):
            connection.sendall(reply.encode("latin-1"))

    say(answer("<greeting>"))
    received, in_data = b"", False
    while True:
        try:
            chunk = connection.recv(65536)
        except (OSError, socket.timeout):
            return
        if not chunk:
            return
        received += chunk
        while b"\r\n" in received:
            text, received = received.split(b"\r\n", 1)
            text = text.decode("latin-1")
            line = "<data>" if in_data and text != "." else text
            reply = answer(line)
            if reply == "<close>":
                return
            if line != "<data>":
                transcript.append(line[:4] if line[:4] in ("EHLO", "HELO") else line)
                previous, in_data = reply, reply.startswith("354")
            say(reply)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder")
    parser.add_argument("--reply", nargs=2, action="append", default=[], metavar=("START", "REPLY"))
    replies = [tuple(pair) for pair in parser.parse_args().reply] + DEFAULTS
    listener = socket.create_server(("127.0.0.1", 0))
    listener.settimeout(20)
    print("PORT %d PID %d" % (listener.getsockname()[1], os.getpid()), flush=True)
    transcript = []
    try:
        connection, _ = listener.accept()
        connection.settimeout(10)
        with connection:
            serve(connection, replies, transcript)
    except socket.timeout:
        pass
    print("|".join(transcript), end="", flush=True)


if __name__ == "__main__":
    main()
