#!/usr/bin/env python3
"""Validation of quarrow results for BOINC's script_validator.

  quarrow_validator.py init    FILES...            (one result's files)
  quarrow_validator.py compare FILES... FILES2...  (two results' files)

FILES are the paths of a result's output files in the order of the result
template quarrow_out.xml: fact.txt, factexcl.txt, factrange.txt, stat.txt,
checksum.txt (what script_validator passes for "files"; "files2" are the
other result's). A path that does not exist stands for a file the task did
not write, which is normal for the factor files and stat.txt. Extra
arguments after the files (such as a "wu_name" the daemon line passes) are
taken as the work unit's name quarrow_<pmin>_<pmax>, whose range the
checksum must then cover.

Exit status, as script_validator reads it: 0 valid (init) or equivalent
(compare), 3 a transient error (a file exists but cannot be read: try again
later), 1 anything else (invalid, or the two results differ).
"""
import os
import re
import sys

FILE_ORDER = ("fact.txt", "factexcl.txt", "factrange.txt", "stat.txt", "checksum.txt")
FACTOR_FILES = (0, 1, 2)
CHECKSUM_FILE = 4
P_FLOOR = 10**9
P_CEILING = 2**50

FACTOR_LINE = re.compile(r"(\d+) \| (\d+)\*2\^(\d+)\+1")
CHECKSUM_LINE = re.compile(r"pmin=(\d+) pmax=(\d+) primes=(\d+) checksum=([0-9a-f]{16})")
WU_NAME = re.compile(r"quarrow_(\d+)_(\d+)(?:_.*)?")

VALID, INVALID, TRANSIENT = 0, 1, 3


class Invalid(Exception):
    pass


class Transient(Exception):
    pass


def is_prime(n):
    """Miller-Rabin with the first twelve prime bases: exact below 3.3e24."""
    if n < 2:
        return False
    small = (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37)
    for q in small:
        if n % q == 0:
            return n == q
    d, s = n - 1, 0
    while d % 2 == 0:
        d //= 2
        s += 1
    for a in small:
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def read_lines(path):
    """The file's lines without line ends; none when the file is absent."""
    if not os.path.lexists(path):
        return []
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise Transient(f"{path}: {e}")
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError:
        raise Invalid(f"{path}: not plain text")
    if text and not text.endswith("\n"):
        raise Invalid(f"{path}: the last line is cut off")
    return [line[:-1] if line.endswith("\r") else line for line in text.split("\n")[:-1]]


def load_result(paths, wu_name=None):
    """Checks one result; returns (set of factor lines, checksum line)."""
    if len(paths) != len(FILE_ORDER):
        raise Invalid(f"expected {len(FILE_ORDER)} files ({', '.join(FILE_ORDER)}), got {len(paths)}")
    checksum_lines = set(read_lines(paths[CHECKSUM_FILE]))
    if not checksum_lines:
        raise Invalid("no checksum.txt: the result holds no proof of work")
    if len(checksum_lines) != 1:
        raise Invalid("checksum.txt holds more than one checksum")
    checksum = next(iter(checksum_lines))
    m = CHECKSUM_LINE.fullmatch(checksum)
    if not m:
        raise Invalid(f"malformed checksum line: {checksum!r}")
    pmin, pmax, primes = int(m.group(1)), int(m.group(2)), int(m.group(3))
    if not (P_FLOOR <= pmin < pmax <= P_CEILING):
        raise Invalid(f"checksum range {pmin}..{pmax} is not a valid range")
    if primes == 0 or primes > pmax - pmin:
        raise Invalid(f"checksum counts {primes} primes in {pmin}..{pmax}")
    if wu_name is not None:
        w = WU_NAME.fullmatch(wu_name)
        if w and (int(w.group(1)) & ~1, int(w.group(2))) != (pmin, pmax):
            raise Invalid(f"checksum range {pmin}..{pmax} is not the unit's ({wu_name})")

    factors = set()
    for index in FACTOR_FILES:
        for line in read_lines(paths[index]):
            f = FACTOR_LINE.fullmatch(line)
            if not f:
                raise Invalid(f"{FILE_ORDER[index]}: malformed line {line!r}")
            p, k, n = int(f.group(1)), int(f.group(2)), int(f.group(3))
            if not (pmin <= p <= pmax):
                raise Invalid(f"{FILE_ORDER[index]}: p outside the range: {line!r}")
            if (k * pow(2, n, p) + 1) % p != 0:
                raise Invalid(f"{FILE_ORDER[index]}: not a factor: {line!r}")
            if not is_prime(p):
                raise Invalid(f"{FILE_ORDER[index]}: p is not prime: {line!r}")
            factors.add(line)
    return factors, checksum


def main(argv):
    if len(argv) < 2 or argv[1] not in ("init", "compare"):
        print(__doc__, file=sys.stderr)
        return INVALID
    n = len(FILE_ORDER)
    try:
        if argv[1] == "init":
            paths = argv[2:2 + n]
            wu_name = argv[2 + n] if len(argv) > 2 + n else None
            load_result(paths, wu_name)
            return VALID
        paths1, paths2 = argv[2:2 + n], argv[2 + n:2 + 2 * n]
        # A task that was interrupted tests the primes after its last save
        # again, and may file a factor under another of the three files than
        # a straight run did (a pair already seen is a duplicate), so the
        # factor lines are compared as one set.
        a = load_result(paths1)
        b = load_result(paths2)
        if a[1] != b[1]:
            print(f"checksums differ: {a[1]} / {b[1]}", file=sys.stderr)
            return INVALID
        if a[0] != b[0]:
            print(f"factor lines differ: {sorted(a[0] ^ b[0])[:5]}", file=sys.stderr)
            return INVALID
        return VALID
    except Invalid as e:
        print(f"invalid result: {e}", file=sys.stderr)
        return INVALID
    except Transient as e:
        print(f"cannot read the result now: {e}", file=sys.stderr)
        return TRANSIENT


if __name__ == "__main__":
    sys.exit(main(sys.argv))
