"""Records for the screen tests as dicts keyed by the record's own field names
(texts as str), over the one codec of the stored form in tools/wexrecord.py."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import wexrecord  # noqa: E402

TEXTS = wexrecord.TEXT_FIELDS

# dict key -> attribute of wexrecord.Record, for the header's fields.
HEADER_FIELDS = {"version": "version", "flags": "flags", "DHCP": "dhcp", "ipAddress": "ip",
                 "gateway": "gateway", "subnet": "subnet", "lastBaseImageTime": "last_image_time",
                 "advScript": "adv_script", "lastBaseImageSize": "last_image_size",
                 "sid": "sid", "dnsServerCount": "dns_count", "dnsServer": "dns"}


def record(**fields):
    """A record as a dict: the empty record with `fields` laid over it."""
    base = {"version": 5, "flags": 0, "DHCP": 0, "ipAddress": (0, 0, 0, 0),
            "gateway": (0, 0, 0, 0), "subnet": (0, 0, 0, 0),
            "lastBaseImageTime": 0, "advScript": 0, "lastBaseImageSize": 0,
            "sid": (0, 0, 0, 0, 0), "dnsServerCount": 0, "dnsServer": []}
    base.update({name: "" for name in TEXTS})
    base.update(fields)
    return base


def serialize(rec):
    values = {attribute: rec[key] for key, attribute in HEADER_FIELDS.items()}
    values["ip"], values["gateway"], values["subnet"] = (
        bytes(rec[key]) for key in ("ipAddress", "gateway", "subnet"))
    values["dns"] = [bytes(server) for server in rec["dnsServer"]]
    return wexrecord.Record(**values, texts={name: rec[name] for name in TEXTS}).encode()


def parse(image):
    """The record of a version-5 image as written by the program."""
    stored = wexrecord.decode(image, wide=True)
    assert wexrecord.stored_length(image, 0) == len(image)
    rec = record(**{key: getattr(stored, attribute) for key, attribute in HEADER_FIELDS.items()})
    for key in ("ipAddress", "gateway", "subnet"):
        rec[key] = tuple(rec[key])
    rec["dnsServer"] = [tuple(server) for server in stored.dns]
    rec.update(stored.texts)
    return rec


def from_disk(disk):
    """The record stored at byte 2560 of a disk's bytes."""
    offset = wexrecord.STORE_OFFSET
    return parse(disk[offset:offset + wexrecord.stored_length(disk)])
