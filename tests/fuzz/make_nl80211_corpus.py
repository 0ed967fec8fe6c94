#!/usr/bin/env python3
"""Writes the nl80211 answer corpus: datagrams laid out byte for byte as the kernel sends its
answers to NL80211_CMD_GET_INTERFACE, plus broken ones.

File names say how they read: MODE-RESULT-what.bin, where MODE is "dump" (the answer to a dump of
every interface, ending in NLMSG_DONE) or "get" (the answer about one interface) and RESULT is
done, more, error or malformed. Every answer belongs to sequence 1 of family 34.

The attributes of an interface come in the order the kernel writes them: index and name (netdevs
only), wiphy, type, wdev id (a u64, preceded by a pad attribute when it would not sit on 8 bytes),
MAC, generation, 4addr, the channel, the transmit power, the SSID (stations only while associated)
and the nested queue statistics.

Run it from anywhere; it rewrites tests/fuzz/nl80211_corpus/.
"""
import os
import struct

FAMILY = 34
SEQ = 1
PORT = 0x3039

NLMSG_ERROR, NLMSG_DONE = 2, 3
NLM_F_MULTI = 0x2
NLA_F_NESTED = 0x8000

CMD_NEW_INTERFACE = 7
ATTR_WIPHY, ATTR_IFINDEX, ATTR_IFNAME, ATTR_IFTYPE, ATTR_MAC = 1, 3, 4, 5, 6
ATTR_WIPHY_FREQ, ATTR_CHANNEL_TYPE, ATTR_GENERATION, ATTR_SSID = 38, 39, 46, 52
ATTR_4ADDR, ATTR_TX_POWER, ATTR_WDEV, ATTR_CHANNEL_WIDTH, ATTR_CENTER_FREQ1 = 83, 98, 153, 159, 160
ATTR_PAD, ATTR_TXQ_STATS = 229, 265
TXQ_STATS_BACKLOG_BYTES, TXQ_STATS_BACKLOG_PACKETS = 1, 2
IFTYPE_STATION, IFTYPE_AP, IFTYPE_P2P_DEVICE = 2, 3, 10


def pad4(n):
    return (4 - n % 4) % 4


def attr(kind, payload, length=None):
    real = 4 + len(payload)
    return struct.pack('<HH', real if length is None else length, kind) + payload + b'\0' * pad4(real)


def u8(kind, v):
    return attr(kind, struct.pack('<B', v))


def u32(kind, v):
    return attr(kind, struct.pack('<I', v))


def text(kind, s):
    return attr(kind, s.encode() + b'\0')


class Body:
    """Attributes after the 20 bytes of netlink and genl header, to place u64s as the kernel does."""

    def __init__(self):
        self.data = b''

    def add(self, chunk):
        self.data += chunk
        return self

    def u64(self, kind, v):
        if (20 + len(self.data) + 4) % 8:
            self.data += attr(ATTR_PAD, b'')
        self.data += attr(kind, struct.pack('<Q', v))
        return self


def interface(ifindex=None, name=None, iftype=IFTYPE_STATION, wiphy=0, wdev=1, ssid=None, freq=2437):
    body = Body()
    if ifindex is not None:
        body.add(u32(ATTR_IFINDEX, ifindex)).add(text(ATTR_IFNAME, name))
    body.add(u32(ATTR_WIPHY, wiphy)).add(u32(ATTR_IFTYPE, iftype)).u64(ATTR_WDEV, wdev)
    body.add(attr(ATTR_MAC, bytes([0x02, 0x11, 0x22, 0x33, 0x44, wdev & 0xff])))
    body.add(u32(ATTR_GENERATION, 7)).add(u8(ATTR_4ADDR, 0))
    if freq is not None:
        body.add(u32(ATTR_WIPHY_FREQ, freq)).add(u32(ATTR_CHANNEL_TYPE, 1))
        body.add(u32(ATTR_CHANNEL_WIDTH, 1)).add(u32(ATTR_CENTER_FREQ1, freq))
        body.add(u32(ATTR_TX_POWER, 2000))
    if ssid is not None:
        body.add(attr(ATTR_SSID, ssid))
    stats = u32(TXQ_STATS_BACKLOG_BYTES, 0) + u32(TXQ_STATS_BACKLOG_PACKETS, 0)
    body.add(attr(ATTR_TXQ_STATS | NLA_F_NESTED, stats))
    return struct.pack('<BBH', CMD_NEW_INTERFACE, 1, 0) + body.data


def message(kind, payload, flags=0, seq=SEQ, length=None):
    real = 16 + len(payload)
    return struct.pack('<IHHII', real if length is None else length, kind, flags, seq, PORT) + payload + \
        b'\0' * pad4(real)


def dump_message(payload, **kw):
    return message(FAMILY, payload, flags=NLM_F_MULTI, **kw)


def done(code=0):
    return message(NLMSG_DONE, struct.pack('<i', code), flags=NLM_F_MULTI)


def error(code, request_flags=0x301):
    original = struct.pack('<IHHII', 28, FAMILY, request_flags, SEQ, PORT)
    return message(NLMSG_ERROR, struct.pack('<i', code) + original)


WLAN0 = dict(ifindex=3, name='wlan0', wdev=1)
WLP2S0 = dict(ifindex=5, name='wlp2s0', wiphy=1, wdev=0x100000001)

CASES = {
    # What the kernel sends.
    'dump-done-associated': dump_message(interface(**WLAN0, ssid=b'cafe-5G')) + done(),
    'dump-done-not-associated': dump_message(interface(**WLAN0, freq=None)) + done(),
    'dump-done-several-interfaces':
        dump_message(interface(**WLAN0, ssid=b'office')) + dump_message(interface(**WLP2S0, freq=None)) +
        dump_message(interface(iftype=IFTYPE_P2P_DEVICE, wiphy=1, wdev=0x100000002, freq=None)) + done(),
    'dump-done-ap-mode': dump_message(interface(ifindex=7, name='ap0', iftype=IFTYPE_AP, ssid=b'hotspot')) + done(),
    'dump-done-ssid-32-bytes': dump_message(interface(**WLAN0, ssid=bytes(range(0x41, 0x61)))) + done(),
    'dump-done-ssid-zero-byte': dump_message(interface(**WLAN0, ssid=b'ab\0cd')) + done(),
    'dump-done-empty': done(),
    'dump-more-no-done-yet': dump_message(interface(**WLAN0, ssid=b'cafe-5G')),
    'dump-error-dump-failed': dump_message(interface(**WLAN0)) + done(-105),
    'get-done-associated': message(FAMILY, interface(**WLAN0, ssid=b'cafe-5G')),
    'get-done-not-associated': message(FAMILY, interface(**WLAN0, freq=None)),
    'get-error-no-device': error(-19, request_flags=0x1),
    # What it must never be trusted to send.
    'dump-malformed-ssid-33-bytes': dump_message(interface(**WLAN0, ssid=b'x' * 33)) + done(),
    'dump-malformed-attribute-past-message':
        dump_message(interface(**WLAN0, freq=None) + attr(ATTR_SSID, b'abc', length=40)) + done(),
    'dump-malformed-attribute-header-cut': dump_message(interface(**WLAN0, freq=None) + b'\x08\x00') + done(),
    'dump-malformed-attribute-length-below-header':
        dump_message(interface(**WLAN0, freq=None) + attr(ATTR_SSID, b'', length=2)) + done(),
    'dump-malformed-ifindex-two-bytes':
        dump_message(struct.pack('<BBH', CMD_NEW_INTERFACE, 1, 0) + attr(ATTR_IFINDEX, b'\x03\x00') +
                     text(ATTR_IFNAME, 'wlan0')) + done(),
    'dump-malformed-ifname-unterminated':
        dump_message(struct.pack('<BBH', CMD_NEW_INTERFACE, 1, 0) + u32(ATTR_IFINDEX, 3) +
                     attr(ATTR_IFNAME, b'wlan0')) + done(),
    'dump-malformed-message-past-datagram': message(FAMILY, interface(**WLAN0), flags=NLM_F_MULTI, length=4000),
    'dump-malformed-message-header-cut': done()[:10],
    'dump-malformed-genl-header-cut': dump_message(b'\x07\x01') + done(),
    'get-malformed-ssid-twice':
        message(FAMILY, interface(**WLAN0, ssid=b'one') + attr(ATTR_SSID, b'two')),
}


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'nl80211_corpus')
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        os.remove(os.path.join(out, name))
    for name, data in CASES.items():
        with open(os.path.join(out, name + '.bin'), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
