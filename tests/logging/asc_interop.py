#!/usr/bin/env python3
"""Text logs against python-can's ASC reader and writer, both ways.

Usage: asc_interop.py <asc_tool> <work folder>. Exits 77 (skipped) when python-can is not installed.

Known systematic differences, allowed for below and not hidden:
- channels: python-can numbers channels from 0 and writes channel c as c + 1; our files carry the channel
  number itself, so our channel n is python-can's n - 1;
- times: python-can's writer writes times relative to its first frame; its reader gives the seconds of the
  file; ours are milliseconds;
- line ends: python-can writes LF, we write CR LF; our reader accepts both;
- remote frames: we write a remote frame's data bytes as for a data frame (zero here); python-can reads a
  remote frame without data and writes none; our reader accepts a remote frame without data tokens;
- python-can writes its own header, event and error-frame lines, which our reader skips as not frame lines.
Length codes above 8 are left out: python-can reads them as CAN FD lengths.
"""
import os
import subprocess
import sys

try:
    import can
except ImportError:
    print("python3-can is not installed: interoperability test skipped")
    sys.exit(77)


def frame_of(line):
    parts = line.split()
    return {
        "time_ms": float(parts[0]),
        "chan": int(parts[1]),
        "id": int(parts[2], 16),
        "ext": parts[3] == "1",
        "tx": parts[4] == "1",
        "remote": parts[5] == "1",
        "dlc": int(parts[6]),
        "data": bytes(int(b, 16) for b in parts[7:]),
    }


def run_tool(tool, *args):
    out = subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout
    return [frame_of(line) for line in out.splitlines() if line.strip()]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def ours_read_by_python(tool, folder):
    path = os.path.join(folder, "ours.txt")
    written = run_tool(tool, "write", path)
    read = list(can.ASCReader(path))
    if len(read) != len(written):
        fail("python-can read %d frames of our %d" % (len(read), len(written)))
    for i, (ours, theirs) in enumerate(zip(written, read)):
        expected_data = b"" if ours["remote"] else ours["data"]
        checks = [
            ("time", abs(theirs.timestamp - ours["time_ms"] / 1000.0) < 1e-6),
            ("channel", theirs.channel == ours["chan"] - 1),
            ("identifier", theirs.arbitration_id == ours["id"]),
            ("extended", theirs.is_extended_id == ours["ext"]),
            ("direction", theirs.is_rx == (not ours["tx"])),
            ("remote", theirs.is_remote_frame == ours["remote"]),
            ("length", theirs.dlc == ours["dlc"]),
            ("data", bytes(theirs.data) == expected_data),
        ]
        for name, ok in checks:
            if not ok:
                fail("our frame %d, %s: python-can read %r from %r" % (i, name, theirs, ours))
    print("python-can read our %d frames" % len(written))


def python_read_by_ours(tool, folder):
    path = os.path.join(folder, "theirs.asc")
    sent = []
    for i in range(60):
        ext = i % 3 == 1
        remote = i % 7 == 5
        dlc = i % 9
        data = [] if remote else [(i * 5 + b) % 256 for b in range(dlc)]
        sent.append(can.Message(timestamp=5000.0 + i * 0.012345, arbitration_id=(0x1ABCDE00 + i) if ext else 0x200 + i,
                                is_extended_id=ext, is_remote_frame=remote, dlc=dlc, data=data, channel=i % 3,
                                is_rx=i % 4 != 3))
    writer = can.ASCWriter(path)
    for message in sent:
        writer.on_message_received(message)
    writer.on_message_received(can.Message(timestamp=5001.0, is_error_frame=True, channel=0))
    writer.stop()
    read = run_tool(tool, "read", path)
    if len(read) != len(sent):
        fail("we read %d frames of python-can's %d" % (len(read), len(sent)))
    first = sent[0].timestamp
    for i, (theirs, ours) in enumerate(zip(sent, read)):
        checks = [
            ("time", abs(ours["time_ms"] - (theirs.timestamp - first) * 1000.0) < 1e-3),
            ("channel", ours["chan"] == theirs.channel + 1),
            ("identifier", ours["id"] == theirs.arbitration_id),
            ("extended", ours["ext"] == theirs.is_extended_id),
            ("direction", ours["tx"] == (not theirs.is_rx)),
            ("remote", ours["remote"] == theirs.is_remote_frame),
            ("length", ours["dlc"] == theirs.dlc),
            ("data", theirs.is_remote_frame or ours["data"] == bytes(theirs.data)),
        ]
        for name, ok in checks:
            if not ok:
                fail("python-can frame %d, %s: we read %r from %r" % (i, name, ours, theirs))
    print("we read python-can's %d frames" % len(sent))


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    ours_read_by_python(tool, folder)
    python_read_by_ours(tool, folder)


if __name__ == "__main__":
    main()
