#!/usr/bin/python3
"""Reads a received message with Python's email package and prints what the tests compare, one
"name: value" line each; bytes are given in base64 so that nothing is lost on the way."""
import base64
import email
import email.policy
import email.utils
import sys

with open(sys.argv[1], "rb") as source:
    message = email.message_from_binary_file(source, policy=email.policy.default)

print("defects: %d" % len(message.defects))
for name in ("From", "To", "Cc", "Subject"):
    if message[name] is not None:
        print("%s: %s" % (name.lower(), message[name]))
print("date: %s" % email.utils.parsedate_to_datetime(message["Date"]).isoformat())
print("multipart: %s" % message.is_multipart())
for part in message.walk():
    if part.is_multipart():
        continue
    payload = part.get_payload(decode=True)
    if part.get_filename():
        print("attachment: %s %s" % (part.get_filename(), base64.b64encode(payload).decode()))
    else:
        print("text: %s %s" % (part.get("Content-Transfer-Encoding", "none"),
                               base64.b64encode(payload).decode()))
