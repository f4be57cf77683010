#!/usr/bin/env python3
"""Makes the music, the sound effect and the opening movie of the sample game.

  morning.mid   background music of the morning scene (General MIDI, four parts)
  evening.mp3   background music of the evening scene (synthesized here, MP3)
  click.wav     the sound of going on after the first click wait
  opening.avi   a three-second opening movie (Cinepak, 320x240, 15 pictures a second)

Everything is computed by this script; ffmpeg only encodes the MP3 and the
video. Run it from anywhere; it rewrites the files next to the scenarios.
"""
import math
import os
import struct
import subprocess
import wave

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


# --- MIDI --------------------------------------------------------------------

def varlen(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def track(events):
    """events: (absolute tick, bytes); returns an MTrk chunk."""
    body = b""
    now = 0
    for tick, data in sorted(events, key=lambda e: e[0]):
        body += varlen(tick - now) + data
        now = tick
    body += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def morning_song():
    q = 480  # ticks a quarter note
    bar = 4 * q
    chords = [(60, 64, 67), (57, 60, 64), (53, 57, 60), (55, 59, 62)] * 2  # C Am F G
    melody = [  # (bar offset in eighths, note, eighths)
        [(0, 72, 2), (2, 76, 2), (4, 79, 3), (7, 77, 1)],
        [(0, 76, 2), (2, 72, 2), (4, 69, 4)],
        [(0, 69, 2), (2, 72, 2), (4, 77, 2), (6, 76, 2)],
        [(0, 74, 4), (4, 71, 2), (6, 74, 2)],
        [(0, 72, 2), (2, 76, 2), (4, 79, 2), (6, 84, 2)],
        [(0, 81, 3), (3, 79, 1), (4, 76, 4)],
        [(0, 77, 2), (2, 76, 2), (4, 74, 2), (6, 72, 2)],
        [(0, 74, 4), (4, 71, 2), (6, 67, 2)],
    ]
    conductor = [(0, b"\xff\x51\x03" + struct.pack(">I", 625000)[1:]),  # 96 beats a minute
                 (0, b"\xff\x03\x07morning")]
    # A GM reset first, then the instruments: piano, strings, bass; drums on 10.
    setup = [(0, b"\xf0\x05\x7e\x7f\x09\x01\xf7"),
             (0, b"\xc0\x00"), (0, b"\xc1\x30"), (0, b"\xc2\x20"),
             (0, b"\xb1\x07\x50"), (0, b"\xb2\x07\x64"), (0, b"\xb9\x07\x46")]
    notes = []

    def note(start, channel, key, length, velocity):
        notes.append((start, bytes((0x90 | channel, key, velocity))))
        notes.append((start + length - 10, bytes((0x80 | channel, key, 0))))

    for b, (chord, line) in enumerate(zip(chords, melody)):
        start = b * bar
        for offset, key, eighths in line:
            note(start + offset * q // 2, 0, key, eighths * q // 2, 88)
        for key in chord:
            note(start, 1, key, bar, 60)
        note(start, 2, chord[0] - 24, 2 * q, 96)
        note(start + 2 * q, 2, chord[0] - 17, 2 * q, 84)
        for eighth in range(8):
            note(start + eighth * q // 2, 9, 42, q // 4, 50 if eighth % 2 else 70)
        note(start, 9, 36, q // 2, 90)
        note(start + 2 * q, 9, 36, q // 2, 80)
    header = b"MThd" + struct.pack(">IHHH", 6, 1, 2, q)
    return header + track(conductor) + track(setup + notes)


# --- Sound -------------------------------------------------------------------

def write_wav(path, rate, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s)))) for s in samples))


def click_sound(rate=22050):
    """A short two-note chime."""
    out = []
    for i in range(int(rate * 0.18)):
        t = i / rate
        f = 1320 if t < 0.06 else 1760
        out.append(9000 * math.exp(-t * 18) * math.sin(2 * math.pi * f * t))
    return out


def evening_music(rate=22050, seconds=16):
    """Slow arpeggios over Am F C G with a soft organ-like tone."""
    chords = [(57, 60, 64), (53, 57, 60), (48, 52, 55), (55, 59, 62)]
    out = [0.0] * (rate * seconds)
    step = 0.25
    for n in range(int(seconds / step)):
        chord = chords[int(n * step / 4) % 4]
        key = chord[n % 3] + (12 if (n // 3) % 2 else 0)
        freq = 440 * 2 ** ((key - 69) / 12)
        begin = int(n * step * rate)
        for i in range(int(rate * 0.9)):
            if begin + i >= len(out):
                break
            t = i / rate
            env = min(1, t / 0.02) * math.exp(-t * 3)
            s = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t)
            out[begin + i] += 3500 * env * s
    fade = int(rate * 0.5)
    for i in range(fade):
        out[-1 - i] *= i / fade
    return out


def encode_mp3(samples, rate, path):
    raw = b"".join(struct.pack("<h", max(-32767, min(32767, int(s)))) for s in samples)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "s16le", "-ar", str(rate), "-ac", "1",
                    "-i", "-", "-c:a", "libmp3lame", "-b:a", "64k", path], input=raw, check=True)


# --- Video -------------------------------------------------------------------

def opening_frames(width=320, height=240, fps=15, seconds=3):
    """Threads of light weaving over a night-blue sky while a moon rises."""
    count = fps * seconds
    for n in range(count):
        t = n / fps
        fade = min(1.0, t / 0.6, (seconds - t) / 0.6)
        moon_y = height * (0.75 - 0.35 * t / seconds)
        rows = bytearray()
        for y in range(height):
            sky = (10 + y * 30 // height, 14 + y * 40 // height, 50 + y * 70 // height)
            for x in range(width):
                r, g, b = sky
                d = math.hypot(x - width * 0.7, y - moon_y)
                if d < 26:
                    r, g, b = 250, 240, 200
                elif d < 60:
                    glow = (60 - d) / 34 * 0.5
                    r, g, b = r + (250 - r) * glow, g + (240 - g) * glow, b + (200 - b) * glow
                for k, colour in enumerate(((255, 120, 160), (120, 220, 255), (255, 220, 120))):
                    wy = height * 0.5 + 40 * math.sin(x / 40 + t * 2.2 + k * 2.1) + (k - 1) * 18
                    near = abs(y - wy)
                    if near < 2.5 and x < width * min(1, t / 1.6 + k * 0.1):
                        a = 1 - near / 2.5
                        r, g, b = r + (colour[0] - r) * a, g + (colour[1] - g) * a, b + (colour[2] - b) * a
                rows += bytes((int(r * fade), int(g * fade), int(b * fade)))
        yield bytes(rows)


def encode_video(path, width=320, height=240, fps=15):
    frames = b"".join(opening_frames(width, height, fps))
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
                    "-s", f"{width}x{height}", "-r", str(fps), "-i", "-",
                    "-c:v", "cinepak", path], input=frames, check=True)


def main():
    with open(os.path.join(DATA, "morning.mid"), "wb") as f:
        f.write(morning_song())
    write_wav(os.path.join(DATA, "click.wav"), 22050, click_sound())
    encode_mp3(evening_music(), 22050, os.path.join(DATA, "evening.mp3"))
    encode_video(os.path.join(DATA, "opening.avi"))


if __name__ == "__main__":
    main()
