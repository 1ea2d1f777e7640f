#!/usr/bin/env python3
"""vek diff -r and vek patch -r on real trees.

Property: for random pairs of trees (files added, deleted, changed and
changed in mode only, binary files, LF, CR LF and mixed line ends, no final
line feed, names with spaces and bytes that are not UTF-8, symbolic links,
folders added and removed, kinds changed), the update vek makes, applied to
a copy of OLD, gives NEW byte for byte, modes and link targets included.

Refusals: every row of the table must leave the tree exactly as it was, and
end with the status given (1: the tree does not match, 2: the update is
refused), where an applier that trusted the update would write.

usage: vek_tree_test.py VEK [ROUNDS]"""
import hashlib
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile

VEK = os.path.abspath(sys.argv[1])
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 40
failures = 0
checks = 0


def fail(what):
    global failures
    failures += 1
    print("FAIL " + what, file=sys.stderr)


def vek(*args):
    run = subprocess.run([VEK] + [os.fsencode(a) if isinstance(a, str) else a for a in args],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return run.returncode, run.stdout, run.stderr


def snapshot(root):
    """Every entry under root: kind, mode and bytes (a link: its target)."""
    seen = {}
    root = os.fsencode(root)
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                seen[rel] = ("link", os.readlink(path))
            elif stat.S_ISDIR(info.st_mode):
                seen[rel] = ("folder", stat.S_IMODE(info.st_mode))
            else:
                with open(path, "rb") as f:
                    seen[rel] = ("file", stat.S_IMODE(info.st_mode), f.read())
    return seen


WORDS = b"alpha beta gamma delta . .. x{ } ; return int".split()


def text(rng, ending):
    lines = [b" ".join(rng.choice(WORDS) for _ in range(rng.randrange(0, 6)))
             for _ in range(rng.randrange(0, 30))]
    if ending == "crlf":
        data = b"".join(l + b"\r\n" for l in lines)
    elif ending == "mixed":
        data = b"".join(l + rng.choice([b"\n", b"\r\n"]) for l in lines)
    else:
        data = b"".join(l + b"\n" for l in lines)
    if ending == "open" and data:
        data = data[:-1]
    return data


def contents(rng):
    kind = rng.choice(["lf", "lf", "crlf", "mixed", "open", "binary", "empty"])
    if kind == "binary":
        return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400)))
    if kind == "empty":
        return b""
    return text(rng, kind)


def edited(rng, data):
    """Text with a few lines changed, added or removed, line ends kept."""
    if not data or rng.random() < 0.2:
        return contents(rng)
    lines = data.splitlines(keepends=True)
    for _ in range(rng.randrange(1, 4)):
        at = rng.randrange(len(lines) + 1)
        end = lines[at - 1][-2:] if at > 0 and lines[at - 1].endswith(b"\r\n") else b"\n"
        choice = rng.random()
        if choice < 0.4 or not lines:
            lines.insert(at, rng.choice(WORDS) + end)
        elif choice < 0.7:
            del lines[min(at, len(lines) - 1)]
        else:
            lines[min(at, len(lines) - 1)] = b"." + end
    return b"".join(lines)


def name(rng):
    base = rng.choice([b"a", b"file", b"read me", b"caf\xc3\xa9", b"raw\xff\xfe", b"x y z",
                       b"back\\slash", b"n%02d" % rng.randrange(100)])
    return base + b"%d" % rng.randrange(1000)


def make_file(path, data, mode):
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


def random_tree(rng, root, depth=0, width=7):
    root = os.fsencode(root)
    os.makedirs(root, exist_ok=True)
    for _ in range(rng.randrange(1, width if depth < 2 else 3)):
        path = os.path.join(root, name(rng))
        if os.path.lexists(path):
            continue
        pick = rng.random()
        if pick < (0.15 if width < 10 else 0.35) and depth < 2:
            random_tree(rng, path, depth + 1, width)
        elif pick < (0.25 if width < 10 else 0.4):
            os.symlink(rng.choice([b"a1", b"../x", b"/etc/passwd", b"sub/dangling"]), path)
        else:
            make_file(path, contents(rng), rng.choice([0o644, 0o644, 0o755, 0o600]))


def evolve(rng, root):
    """NEW from a copy of OLD: every kind of change."""
    root = os.fsencode(root)
    for folder, dirs, files in list(os.walk(root)):
        for entry in dirs + files:
            path = os.path.join(folder, entry)
            if not os.path.lexists(path):
                continue
            pick = rng.random()
            is_dir = os.path.isdir(path) and not os.path.islink(path)
            if pick < 0.1:
                shutil.rmtree(path) if is_dir else os.unlink(path)
            elif pick < 0.15 and is_dir:
                shutil.rmtree(path)
                make_file(path, contents(rng), 0o644)  # a folder becomes a file
            elif pick < 0.2 and not is_dir:
                os.unlink(path)
                choice = rng.random()
                if choice < 0.35:
                    os.symlink(b"elsewhere", path)
                elif choice < 0.7:
                    make_file(path, contents(rng), 0o644)
                else:
                    random_tree(rng, path, 1)  # a file or link becomes a folder
            elif pick < 0.45 and os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    data = f.read()
                make_file(path, edited(rng, data), stat.S_IMODE(os.lstat(path).st_mode))
            elif pick < 0.55 and not os.path.islink(path):
                os.chmod(path, 0o700 if is_dir else rng.choice([0o755, 0o640]))
            elif pick < 0.6 and os.path.islink(path):
                os.unlink(path)
                os.symlink(b"moved", path)
    random_tree(rng, os.path.join(root, b"added"), 1)


def property_round(work, seed):
    global checks
    rng = random.Random(seed)
    old, new, target = (os.path.join(os.fsencode(work), n) for n in (b"old", b"new", b"target"))
    for path in (old, new, target):
        shutil.rmtree(path, ignore_errors=True)
    # Every fourth tree is wide: more folders than vek walks ahead of its
    # writing, and folders with many files to compare on two threads.
    wide = seed % 4 == 3
    random_tree(rng, old, width=60 if wide else 7)
    shutil.copytree(old, new, symlinks=True)
    evolve(rng, new)
    shutil.copytree(old, target, symlinks=True)
    update = os.path.join(os.fsencode(work), b"update.vek")
    status, again, err = vek("diff", "-r", old, new)
    status, _, err = vek("diff", "-r", old, new, "-o", update)
    checks += 1
    if status not in (0, 1):
        fail("seed %d: vek diff -r status %d: %s" % (seed, status, err[:300]))
        return
    checks += 1
    with open(update, "rb") as f:
        if f.read() != again:
            fail("seed %d: two runs of vek diff -r wrote different updates" % seed)
    if wide:
        # A pipe deep in the trees: refused with its name, nothing written.
        folders = sorted(f for f, _, _ in os.walk(new) if not os.path.islink(f))
        pipe = os.path.join(folders[-1], b"zz-pipe")
        os.mkfifo(pipe)
        os.unlink(update)
        status, _, err = vek("diff", "-r", old, new, "-o", update)
        os.unlink(pipe)
        checks += 1
        if status != 2 or b"zz-pipe: is neither a file" not in err or os.path.lexists(update):
            fail("seed %d: a pipe in the tree: status %d, %r" % (seed, status, err[:300]))
        vek("diff", "-r", old, new, "-o", update)
    status, _, err = vek("patch", "-r", target, update)
    checks += 1
    if status != 0:
        fail("seed %d: vek patch -r status %d: %s" % (seed, status, err[:300]))
        return
    checks += 1
    if snapshot(target) != snapshot(new):
        a, b = snapshot(target), snapshot(new)
        diff = [k for k in set(a) | set(b) if a.get(k) != b.get(k)]
        fail("seed %d: the patched tree differs from NEW at %r" % (seed, diff[:5]))


def rehashed(lines):
    """An update's lines with a fresh last line: what a forger can make."""
    body = b"".join(lines[:-1])
    return body + hashlib.sha256(body).hexdigest().encode() + b"\n"


def refusals(work):
    global checks
    old, new, tree = (os.path.join(work, n) for n in ("r-old", "r-new", "r-tree"))
    outside = os.path.join(work, "outside")
    for path in (old, new, tree, outside):
        shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.join(old, "sub"))
    os.makedirs(outside)
    make_file(os.path.join(old, "f.txt"), b"one\ntwo\n", 0o644)
    make_file(os.path.join(old, "sub", "s.txt"), b"sub\n", 0o644)
    shutil.copytree(old, new)
    make_file(os.path.join(new, "f.txt"), b"one\n2\n", 0o644)
    make_file(os.path.join(new, "added"), b"new\n", 0o644)
    make_file(os.path.join(new, "sub", "added"), b"new in sub\n", 0o644)
    update = os.path.join(work, "r.vek")
    vek("diff", "-r", old, new, "-o", update)
    with open(update, "rb") as f:
        lines = f.readlines()
    header = [i for i, l in enumerate(lines) if l.startswith(b"add file")][0]

    def forged(path):
        edited_lines = list(lines)
        fields = edited_lines[header].split(b" ")
        edited_lines[header] = b" ".join(fields[:8] + [path + b"\n"])
        return rehashed(edited_lines)

    flipped = bytearray(b"".join(lines))
    flipped[len(flipped) // 2] ^= 0x01

    def wrong_base(t):
        make_file(os.path.join(t, "f.txt"), b"one\nTWO\n", 0o644)

    def present(t):
        make_file(os.path.join(t, "added"), b"there already\n", 0o644)

    def linked_sub(t):
        shutil.rmtree(os.path.join(t, "sub"))
        os.makedirs(os.path.join(outside, "sub"), exist_ok=True)
        make_file(os.path.join(outside, "sub", "s.txt"), b"sub\n", 0o644)
        os.symlink(os.path.join(outside, "sub"), os.path.join(t, "sub"))

    def applied(t):
        vek("patch", "-r", t, update)

    rows = [
        ("a wrong base", wrong_base, None, 1),
        ("a file present that should be added", present, None, 1),
        ("a truncated update", None, b"".join(lines[:-3]), 2),
        ("an update cut within its last line", None, b"".join(lines)[:-5], 2),
        ("one altered byte", None, bytes(flipped), 2),
        ("'..' in a path", None, forged(b"../escaped"), 2),
        ("'..' deeper in a path", None, forged(b"sub/../../escaped"), 2),
        ("an absolute path", None, forged(os.fsencode(os.path.join(outside, "abs"))), 2),
        ("a symbolic-link folder leading outside", linked_sub, None, 2),
        ("an update applied twice", applied, None, 1),
    ]
    for what, prepare, data, expected in rows:
        shutil.rmtree(tree, ignore_errors=True)
        shutil.copytree(old, tree)
        if prepare:
            prepare(tree)
        used = update
        if data is not None:
            used = os.path.join(work, "forged.vek")
            with open(used, "wb") as f:
                f.write(data)
        before, outside_before = snapshot(tree), snapshot(outside)
        status, _, err = vek("patch", "-r", tree, used)
        checks += 1
        if status != expected:
            fail("refusal [%s]: status %d, expected %d: %s" % (what, status, expected, err[:300]))
        if snapshot(tree) != before or snapshot(outside) != outside_before:
            fail("refusal [%s]: something was written" % what)
        if os.path.lexists(os.path.join(work, "escaped")):
            fail("refusal [%s]: a file was written outside the tree" % what)
        if not err.startswith(b"vek: "):
            fail("refusal [%s]: no message" % what)


def main():
    work = tempfile.mkdtemp(prefix="vek-tree-test.")
    try:
        for seed in range(ROUNDS):
            property_round(work, seed)
        refusals(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("vek trees: %d checks, %d failed" % (checks, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
