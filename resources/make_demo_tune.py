#!/usr/bin/env python3
"""Writes Velmora's demo tune, a short original piece for piano and bass (Standard MIDI File,
format 1), to resources/demo/velmora-demo.mid.

    python3 resources/make_demo_tune.py
"""
import os
import struct

TICKS = 480  # per quarter note
TEMPO = 500000  # microseconds per quarter: 120 beats per minute

# (pitch, quarters); pitch None is a rest. Eight bars in C major, ending on the tonic.
MELODY = [(72, 1), (76, 1), (79, 1), (76, 1), (77, 1), (74, 1), (71, 2),
          (72, 1), (74, 1), (76, 1), (79, 1), (81, 2), (79, 2),
          (77, 1), (76, 1), (74, 1), (72, 1), (74, 1), (79, 1), (77, 2),
          (76, 1), (74, 1), (71, 1), (74, 1), (72, 4)]
BASS = [(48, 4), (43, 4), (45, 4), (41, 4), (50, 4), (43, 4), (43, 4), (36, 4)]


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track(events):
    data = b"".join(vlq(delta) + body for delta, body in events) + vlq(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def voice(channel, program, notes, velocity):
    events = [(0, bytes((0xC0 | channel, program)))]
    pending = 0
    for pitch, quarters in notes:
        length = quarters * TICKS
        if pitch is None:
            pending += length
            continue
        events.append((pending, bytes((0x90 | channel, pitch, velocity))))
        events.append((length - 20, bytes((0x80 | channel, pitch, 0))))
        pending = 20
    return events


def main():
    conductor = [(0, b"\xff\x03\x07Velmora"),
                 (0, b"\xff\x51\x03" + TEMPO.to_bytes(3, "big")),
                 (0, b"\xff\x58\x04\x04\x02\x18\x08")]
    tracks = [track(conductor), track(voice(0, 0, MELODY, 100)), track(voice(1, 32, BASS, 90))]
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), TICKS)
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "demo", "velmora-demo.mid"), "wb") as out:
        out.write(header + b"".join(tracks))


if __name__ == "__main__":
    main()
