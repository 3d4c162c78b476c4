#!/usr/bin/python3
"""A mail server for the tests: aiosmtpd on 127.0.0.1 that keeps every message it accepts.

Prints "PORT <port> PID <pid>" once it listens, then serves until SIGTERM (or its lifetime ends).
Message n is saved as <folder>/message-<n>.eml with its envelope in <folder>/message-<n>.envelope
(MAIL FROM on the first line, one RCPT TO per further line); every AUTH attempt is appended to
<folder>/auth.log as "<mechanism> <login> ok|refused"; without --user any login is accepted.
"""
import argparse
import asyncio
import os
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Keeper:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "message-%d" % self.count)
        with open(base + ".eml", "wb") as message:
            message.write(envelope.original_content)
        with open(base + ".envelope", "w") as addresses:
            addresses.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        return "250 OK kept"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--certificates", help="the folder with server.pem and server.key")
    parser.add_argument("--user", help="AUTH is required, with this user name")
    parser.add_argument("--password")
    parser.add_argument("--without-login", action="store_true", help="offer AUTH PLAIN alone")
    parser.add_argument("--lifetime", type=float, default=300)
    options = parser.parse_args()

    context = None
    if options.tls != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(os.path.join(options.certificates, "server.pem"),
                                os.path.join(options.certificates, "server.key"))

    def authenticate(server, session, envelope, mechanism, data):
        # Without a user of its own, the server takes anybody.
        accepted = options.user is None or (isinstance(data, LoginPassword) and data.login.decode() == options.user
                                            and data.password.decode() == options.password)
        login = data.login.decode() if isinstance(data, LoginPassword) else "?"
        with open(os.path.join(options.folder, "auth.log"), "a") as log:
            log.write("%s %s %s\n" % (mechanism, login, "ok" if accepted else "refused"))
        return AuthResult(success=accepted)

    keeper = Keeper(options.folder)

    def factory():
        return SMTP(keeper, hostname="sink.test", decode_data=False,
                    tls_context=context if options.tls == "starttls" else None,
                    require_starttls=options.tls == "starttls",
                    auth_required=options.user is not None, auth_require_tls=False,
                    authenticator=authenticate,
                    auth_exclude_mechanism=["LOGIN"] if options.without_login else None)

    async def serve():
        loop = asyncio.get_running_loop()
        server = await loop.create_server(factory, "127.0.0.1", 0,
                                          ssl=context if options.tls == "implicit" else None)
        print("PORT %d PID %d" % (server.sockets[0].getsockname()[1], os.getpid()), flush=True)
        stop = asyncio.Event()
        loop.add_signal_handler(signal.SIGTERM, stop.set)
        try:
            await asyncio.wait_for(stop.wait(), options.lifetime)
        except asyncio.TimeoutError:
            pass
        server.close()

    asyncio.run(serve())


if __name__ == "__main__":
    main()
