#!/usr/bin/env python3
"""Makes input files for the vek end-to-end tests and computes what vek's
answers are checked against (independently of the library)."""
import binascii
import random
import sys

WORDS = ("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi "
         "omicron pi rho sigma tau upsilon phi chi psi omega { } ( ) ; = + - * / "
         "if else for while return int char void static const struct").split()


def text_lines(rng, count, prefix=""):
    lines = []
    for i in range(count):
        n = rng.randrange(0, 9)
        line = " ".join(rng.choice(WORDS) for _ in range(n))
        if rng.random() < 0.05:
            line = ""  # blank lines too
        lines.append(prefix + line)
    return lines


DOT_LINES = (".", ".", "..", ".PHONY: all", ".B bold", ".. note::", "...", "s/.//", "a")


def with_dots(rng, lines, share):
    """Lines of which about `share` are replaced by lines that begin with
    '.' (lone "." lines most of all) or look like the escape's own lines."""
    return [rng.choice(DOT_LINES) if rng.random() < share else line for line in lines]


def write_lines(path, lines, ending="\n"):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line.encode("latin-1") + ending.encode())


def edited(rng, lines, rate):
    out = []
    for line in lines:
        r = rng.random()
        if r < rate / 3:
            continue  # deleted
        if r < 2 * rate / 3:
            out.append("changed " + line)
            continue
        out.append(line)
        if r < rate:
            out.append("inserted " + str(rng.randrange(10**6)))
    return out


def set_file(rng):
    """One file of a set to bundle: mostly text with CR LF line ends (which
    a text bundle carries byte for byte), some of it shaped like uuencoded
    data or a bundle's own lines, or binary in the ways a type check may
    miss."""
    kind = rng.choice(("text", "text", "text", "empty", "begin", "end", "uuencoded",
                       "binary", "binary", "late-nul", "utf16", "high"))
    lines = with_dots(rng, text_lines(rng, rng.randrange(0, 40)), 0.1)
    if kind == "empty":
        return b""
    if kind == "begin":
        lines.insert(0, rng.choice(("begin 777 notes", "begin 644 x", "begin 777 xxxx")))
    elif kind == "end":
        lines.append("end")
    elif kind == "uuencoded":
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 200)))
        body = b"".join(binascii.b2a_uu(data[i:i + 45]) for i in range(0, len(data), 45))
        lines = ["begin 777 xxxx"] + body.decode("latin-1").splitlines() + ["`", "end"]
    elif kind == "binary":
        return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 3000)))
    elif kind == "late-nul":
        return ("x" * rng.randrange(513, 900) + "\r\n").encode() + b"\0after\r\n"
    elif kind == "utf16":
        return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le")
    elif kind == "high":
        lines = ["".join(chr(rng.randrange(0x80, 0x100)) for _ in range(rng.randrange(0, 30)))
                 for _ in range(rng.randrange(1, 20))]
    return b"".join(line.encode("latin-1") + b"\r\n" for line in lines)


def checksum(path):
    """16-bit additive checksum of the lines of a file, each with one LF,
    bytes counted as signed values."""
    data = open(path, "rb").read()
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    total = 0
    for line in lines:
        for b in line + b"\n":
            total += b - 256 if b >= 128 else b
    return "%04X" % (total % 65536)


def main():
    cmd = sys.argv[1]
    if cmd == "pair":  # pair SEED COUNT RATE OLD NEW [DOTS]: DOTS, a share of '.' lines
        seed, count, rate, old, new = sys.argv[2:7]
        dots = float(sys.argv[7]) if len(sys.argv) > 7 else 0
        rng = random.Random(int(seed))
        a = with_dots(rng, text_lines(rng, int(count)), dots)
        b = with_dots(rng, edited(rng, a, float(rate)), dots * float(rate))
        write_lines(old, a)
        write_lines(new, b)
    elif cmd == "shift":  # shift CASE SEED COUNT OLD NEW: one kind of shift of a text
        case, seed, count, old, new = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), *sys.argv[5:7]
        rng = random.Random(seed)
        a = text_lines(rng, count)
        if case == "insert1":
            b = ["a line at the top"] + a
        elif case == "delete1":
            b = a[1:]
        elif case == "insert2000":  # lines like the rest, so most have partners
            b = text_lines(rng, 2000) + a
        elif case == "move3000":  # a block moved 30,000 lines down
            start = count // 3
            b = a[:start] + a[start + 3000:start + 33000] + a[start:start + 3000] + a[start + 33000:]
        elif case == "delete97":
            b = [line for i, line in enumerate(a) if i % 97 != 96]
        else:
            sys.exit("unknown case " + case)
        write_lines(old, a)
        write_lines(new, b)
    elif cmd == "unique":  # unique SEED COUNT PATH: every line different
        seed, count, path = sys.argv[2:5]
        rng = random.Random(int(seed))
        write_lines(path, ["line %d %x" % (i, rng.randrange(1 << 60)) for i in range(int(count))])
    elif cmd == "count":  # count COUNT PATH: COUNT short lines
        count, path = sys.argv[2:4]
        with open(path, "wb") as f:
            f.write(b"".join(b"%d\n" % i for i in range(int(count))))
    elif cmd == "crlf":  # crlf IN OUT: LF line ends to CR LF
        data = open(sys.argv[2], "rb").read()
        open(sys.argv[3], "wb").write(data.replace(b"\n", b"\r\n"))
    elif cmd == "binary":  # binary SEED SIZE PATH
        seed, size, path = sys.argv[2:5]
        rng = random.Random(int(seed))
        open(path, "wb").write(bytes(rng.randrange(256) for _ in range(int(size))))
    elif cmd == "fileset":  # fileset SEED DIR: 1 to 10 files of every kind; prints their names
        rng = random.Random(int(sys.argv[2]))
        names = []
        for i in range(rng.randrange(1, 11)):
            names.append("f%d" % (i + 1))
            open(sys.argv[3] + "/" + names[-1], "wb").write(set_file(rng))
        print(" ".join(names))
    elif cmd == "checksum":  # checksum PATH
        print(checksum(sys.argv[2]))
    elif cmd == "bytes_checksum":  # bytes_checksum PATH: over the file's bytes as they are
        total = sum(b - 256 if b >= 128 else b for b in open(sys.argv[2], "rb").read())
        print("%04X" % (total % 65536))
    elif cmd == "section":  # section BUNDLE INDEX OUT: a bundle's section, leading spaces cut
        bundle, index, out = sys.argv[2], int(sys.argv[3]), sys.argv[4]
        sections, current = [], []
        for line in open(bundle, "rb").read().split(b"\n")[:-1]:
            if line == b"E":
                sections.append(current)
                current = []
            else:
                current.append(line[1:])
        open(out, "wb").write(b"".join(l + b"\n" for l in sections[index]))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
