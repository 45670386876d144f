#!/usr/bin/env python3
"""The DNS server of the sealed test network (see scripts/sealed).

Every answer follows from the query name alone, so tests running side by side
share no state with it or with each other. Names under vornask.test:

    v4.vornask.test          A 127.0.0.1
    v6.vornask.test          AAAA ::1
    both.vornask.test        A 127.0.0.1 and AAAA ::1
    noaddress.vornask.test   exists, but has no address of either family
    silent.vornask.test      never answered
    late-MS.NAME             answered as NAME would be, MS milliseconds late

Any other name is NXDOMAIN. Queries come over UDP only: the answers are small
and never truncated, so the resolver has no reason to retry over TCP.

Usage: dns_responder.py ADDRESS PORT. Prints "ready" once it is listening.
"""

import asyncio
import ipaddress
import re
import struct
import sys

ZONE = "vornask.test"
TYPE_A, TYPE_AAAA, CLASS_IN = 1, 28, 1
NOERROR, FORMERR, NXDOMAIN = 0, 1, 3

V4 = ipaddress.ip_address("127.0.0.1").packed
V6 = ipaddress.ip_address("::1").packed
RECORDS = {
    "v4": {TYPE_A: [V4]},
    "v6": {TYPE_AAAA: [V6]},
    "both": {TYPE_A: [V4], TYPE_AAAA: [V6]},
    "noaddress": {},
}
SILENT = object()
LATE = re.compile(r"late-(\d{1,6})\.(.+)")


class Malformed(Exception):
    pass


def parse_question(packet):
    """The query's id, flags, name (lower case), type and the question's end."""
    if len(packet) < 12:
        raise Malformed()
    ident, flags, questions = struct.unpack("!HHH", packet[:6])
    if flags & 0x8000 or questions != 1:
        raise Malformed()
    labels, at = [], 12
    while True:
        if at >= len(packet):
            raise Malformed()
        length = packet[at]
        at += 1
        if length == 0:
            break
        # A query's own name is never compressed.
        if length > 63 or at + length > len(packet):
            raise Malformed()
        labels.append(packet[at:at + length].decode("ascii", "replace").lower())
        at += length
    if at + 4 > len(packet):
        raise Malformed()
    qtype, qclass = struct.unpack("!HH", packet[at:at + 4])
    return ident, flags, ".".join(labels), qtype, qclass, at + 4


def lookup(name):
    """(delay in seconds, records by type) for a name, SILENT, or None for NXDOMAIN."""
    delay = 0.0
    late = LATE.fullmatch(name)
    if late:
        delay, name = int(late.group(1)) / 1000.0, late.group(2)
    if name == "silent." + ZONE:
        return SILENT
    if not name.endswith("." + ZONE):
        return delay, None
    return delay, RECORDS.get(name[: -len(ZONE) - 1])


def reply(ident, flags, rcode, question, answers=()):
    # QR and AA set; RD copied from the query; RA set so the stub resolver
    # takes the answer as final.
    out_flags = 0x8000 | 0x0400 | (flags & 0x0100) | 0x0080 | rcode
    header = struct.pack("!HHHHHH", ident, out_flags, 1 if question else 0, len(answers), 0, 0)
    body = b"".join(
        # 0xc00c points back at the question's name; a TTL of 0 keeps
        # nothing cached between tests.
        struct.pack("!HHHIH", 0xC00C, rtype, CLASS_IN, 0, len(data)) + data
        for rtype, data in answers
    )
    return header + question + body


def answer(packet):
    """(reply, delay in seconds), or None when the query goes unanswered."""
    try:
        ident, flags, name, qtype, qclass, end = parse_question(packet)
    except Malformed:
        if len(packet) >= 2:
            return reply(struct.unpack("!H", packet[:2])[0], 0, FORMERR, b""), 0.0
        return None
    question = packet[12:end]
    found = lookup(name)
    if found is SILENT:
        return None
    delay, records = found
    if records is None:
        return reply(ident, flags, NXDOMAIN, question), delay
    answers = [(qtype, data) for data in records.get(qtype, [])] if qclass == CLASS_IN else []
    return reply(ident, flags, NOERROR, question, answers), delay


class Responder(asyncio.DatagramProtocol):
    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, addr):
        result = answer(data)
        if result is None:
            return
        packet, delay = result
        if delay > 0:
            asyncio.get_running_loop().call_later(delay, self.transport.sendto, packet, addr)
        else:
            self.transport.sendto(packet, addr)


async def serve(address, port):
    loop = asyncio.get_running_loop()
    await loop.create_datagram_endpoint(Responder, local_addr=(address, port))
    print("ready", flush=True)
    await asyncio.Event().wait()


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: dns_responder.py ADDRESS PORT")
    asyncio.run(serve(sys.argv[1], int(sys.argv[2])))


if __name__ == "__main__":
    main()
