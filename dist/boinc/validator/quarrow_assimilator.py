#!/usr/bin/env python3
"""Assimilation of quarrow results for BOINC's script_assimilator.

  quarrow_assimilator.py DIR FILES...

Called with the canonical result's output files (script_assimilator's
"files", in the order of quarrow_out.xml: fact.txt, factexcl.txt,
factrange.txt, stat.txt, checksum.txt). Appends every factor line that is
new to the project-wide files DIR/fact.txt, DIR/factexcl.txt and
DIR/factrange.txt, and the unit's checksum line to DIR/checksum.txt, each
line at most once however often a unit is assimilated. Lines are appended
whole and synced before the script ends; a lock on DIR/.lock keeps two
assimilators from interleaving. Exit status 0 on success, 1 otherwise (the
assimilator then stops for the administrator to look, and the unit is
assimilated again later).
"""
import fcntl
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from quarrow_validator import CHECKSUM_FILE, FACTOR_FILES, FILE_ORDER, Invalid, Transient, load_result, read_lines  # noqa: E402


def append_new(path, lines):
    """Appends the lines of `lines` not yet in the file at `path`."""
    present = set(read_lines(path)) if os.path.exists(path) else set()
    new = [line for line in lines if line not in present]
    if not new:
        return 0
    # Whole lines in one write, then synced: a crash leaves the file with or
    # without them, and a second run appends only what is still missing.
    fd = os.open(path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
    try:
        data = "".join(line + "\n" for line in new).encode("ascii")
        written = os.write(fd, data)
        if written != len(data):
            raise OSError(f"short write to {path}")
        os.fsync(fd)
    finally:
        os.close(fd)
    return len(new)


def main(argv):
    if len(argv) != 2 + len(FILE_ORDER):
        print(__doc__, file=sys.stderr)
        return 1
    target, paths = argv[1], argv[2:]
    try:
        # The validator accepted the result; checking again costs little and
        # keeps a hand-run assimilation from merging anything false.
        load_result(paths)
        os.makedirs(target, exist_ok=True)
        with open(os.path.join(target, ".lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            added = 0
            for index in FACTOR_FILES:
                lines = sorted(set(read_lines(paths[index])), key=lambda line: int(line.split(" ", 1)[0]))
                added += append_new(os.path.join(target, FILE_ORDER[index]), lines)
            append_new(os.path.join(target, FILE_ORDER[CHECKSUM_FILE]), sorted(set(read_lines(paths[CHECKSUM_FILE]))))
        print(f"{added} new factor lines", file=sys.stderr)
        return 0
    except (Invalid, Transient, OSError) as e:
        print(f"cannot assimilate: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
