#!/usr/bin/python3
"""A seeded sample of one-token mutants: do the tests notice a change in the code they cover?

Draws one-token changes (a comparison flipped, a constant moved by one, an arithmetic operator
swapped, max <-> min, && <-> ||, ...) over the lines of src/ added or changed since a base commit
(or over every line of one library), applies each alone in a scratch copy of the tree, rebuilds
incrementally, runs the test programs of the mutated library and of its callers, and prints each
mutant as caught / not caught / timeout / build failed / equivalent with the score

    caught (a test fails or times out) / behaviour-changing (all but build failed and equivalent).

Examples (from the top of the worktree):
    tools/mutation_sample.py --base 8405f76 --seed 7 --count 20
    tools/mutation_sample.py --library peaks --files 'src/peaks/fitra*' --tests test_peaks \\
        --gtest-filter 'Fitra*' --seed 3 --count 15 --notes mutants.txt
A notes file holds one mutant judged equivalent per line, "path:line:col[:after]  reason".
The scratch copy and its build trees stay in .mutation/ of the worktree between runs.
"""
import argparse
import fcntl
import fnmatch
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

# Test programs of a library and of the libraries above it (the layering of architecture.md).
ALL_TESTS = ["test_core", "test_crystal", "test_spectrum", "test_peaks", "test_indexing", "test_fourier",
             "test_evolution", "test_testdata", "test_ini", "test_mainwin", "test_core_qt", "test_app_qt"]
CALLER_TESTS = {
    "core": ALL_TESTS,
    "crystal": ALL_TESTS[1:],
    "spectrum": ["test_spectrum", "test_peaks", "test_evolution", "test_testdata", "test_ini", "test_mainwin",
                 "test_app_qt"],
    "peaks": ["test_peaks", "test_spectrum", "test_evolution", "test_testdata", "test_ini", "test_mainwin",
              "test_app_qt"],
    "indexing": ["test_indexing", "test_testdata", "test_ini", "test_mainwin", "test_app_qt"],
    "fourier": ["test_fourier", "test_mainwin", "test_app_qt"],
    "evolution": ["test_evolution", "test_ini", "test_mainwin", "test_app_qt"],
    "testdata": ["test_testdata", "test_mainwin", "test_app_qt"],
    "ini": ["test_ini", "test_crystal", "test_mainwin", "test_app_qt"],
    "mainwin": ["test_mainwin", "test_app_qt"],
    "app": ["test_app_qt"],
}

TOKEN = re.compile(r"""
    (?P<num>(?<![\w.])(?:\d+\.?\d*(?:[eE][-+]?\d+)?|\.\d+(?:[eE][-+]?\d+)?)[uUlLfF]*(?![\w.']))
  | (?P<word>[A-Za-z_]\w*)
  | (?P<op>\+\+|--|&&|\|\||<<=|>>=|<=>|<<|>>|<=|>=|==|!=|\+=|-=|\*=|/=|->|::|[-+*/<>=!&|%^~?:;,.(){}\[\]])
""", re.X)
# Binary operators, changed only with a blank on each side (keeps templates, pointers, references out).
BINARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "+": "-", "-": "+", "*": "/",
          "/": "*", "&&": "||", "||": "&&", "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*="}
ANY_OP = {"++": "--", "--": "++"}
WORDS = {"max": "min", "min": "max", "fmax": "fmin", "fmin": "fmax", "floor": "ceil", "ceil": "floor",
         "true": "false", "false": "true", "lower_bound": "upper_bound", "upper_bound": "lower_bound"}


def masked(text):
    """The lines of a C++ file with comments, string and character literals and preprocessor lines blanked."""
    i, n = 0, len(text)
    buf, state = [], None  # state "block" inside /* */
    while i < n:
        c = text[i]
        if state == "block":
            if text.startswith("*/", i):
                buf.append("  ")
                i, state = i + 2, None
            else:
                buf.append(c if c == "\n" else " ")
                i += 1
            continue
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            buf.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            buf.append("  ")
            i, state = i + 2, "block"
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            k = text.find("(", i)
            delim = text[i + 2:k] if k >= 0 else ""
            end = text.find(")" + delim + '"', k) if k >= 0 else -1
            j = n if end < 0 else end + len(delim) + 2
            buf.append("".join(ch if ch == "\n" else " " for ch in text[i:j]))
            i = j
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            buf.append(" " * (j - i))
            i = j
        else:
            buf.append(c)
            i += 1
    lines = "".join(buf).split("\n")
    continued = False
    for k, line in enumerate(lines):
        if continued or line.lstrip().startswith("#"):
            continued = line.rstrip().endswith("\\")
            lines[k] = " " * len(line)
    return lines


def mutations_of_line(line):
    """(col, before, after) of every one-token change of a masked line; col counts from 1."""
    if re.search(r"\b(static_)?assert\s*\(", line):
        return []
    found = []
    for m in TOKEN.finditer(line):
        tok, col = m.group(), m.start()
        if m.lastgroup == "num":
            found += [(col + 1, tok, alt) for alt in moved_by_one(tok)]
        elif m.lastgroup == "word" and tok in WORDS:
            found.append((col + 1, tok, WORDS[tok]))
        elif tok in ANY_OP:
            found.append((col + 1, tok, ANY_OP[tok]))
        elif tok in BINARY and line[col - 1:col] == " " and line[m.end():m.end() + 1] == " ":
            found.append((col + 1, tok, BINARY[tok]))
    return found


def moved_by_one(tok):
    """An integer one up and one down; a decimal with its last written digit one up and one down."""
    body = tok.rstrip("uUlLfF")
    suffix = tok[len(body):]
    if re.fullmatch(r"\d+", body):
        if len(body) > 1 and body.startswith("0"):
            return []  # octal
        v = int(body)
        return [str(v + 1) + suffix] + ([str(v - 1) + suffix] if v > 0 else [])
    mant = re.split(r"[eE]", body)[0]
    last = max(i for i, ch in enumerate(mant) if ch.isdigit())
    d = int(mant[last])
    return [body[:last] + str(d + s) + body[last + 1:] + suffix for s in (1, -1) if 0 <= d + s <= 9]


def in_index(line, col):
    """Whether the token at col (from 1) sits inside a subscript or in a loop header (a bound or an index)."""
    depth = 0
    for ch in line[:col - 1]:
        depth += {"[": 1, "]": -1}.get(ch, 0)
    return depth > 0 or re.match(r"\s*for\s*\(", line) is not None


def git(repo, *args):
    return subprocess.run(["git", "-C", repo, *args], check=True, capture_output=True, text=True).stdout


def changed_lines(repo, base):
    """{path: set of line numbers} of src/ lines added or changed since base (working tree included)."""
    out, path = {}, None
    for line in git(repo, "diff", "-U0", "--no-color", base, "--", "src").splitlines():
        if line.startswith("+++ "):
            path = None if line.endswith("/dev/null") else line[6:]
        elif line.startswith("@@") and path:
            m = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
            start, count = int(m.group(1)), int(m.group(2) or 1)
            out.setdefault(path, set()).update(range(start, start + count))
    return out


def library_lines(repo, name):
    out = {}
    for path in git(repo, "ls-files", "--", "src/" + name).splitlines():
        with open(os.path.join(repo, path), encoding="utf-8", errors="replace") as f:
            out[path] = set(range(1, f.read().count("\n") + 2))
    return out


def candidates(repo, lines_by_file, patterns):
    cands = []
    for path in sorted(lines_by_file):
        if not path.endswith((".cpp", ".h", ".hpp", ".cc")):
            continue
        if patterns and not any(fnmatch.fnmatch(path, p) for p in patterns):
            continue
        with open(os.path.join(repo, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        mlines, raw = masked(text), text.split("\n")
        for ln in sorted(lines_by_file[path]):
            if ln - 1 < len(mlines):
                for col, before, after in mutations_of_line(mlines[ln - 1]):
                    cands.append(dict(path=path, line=ln, col=col, before=before, after=after,
                                      text=raw[ln - 1], index=in_index(mlines[ln - 1], col)))
    return cands


def library_of(path):
    parts = path.split("/")
    if parts[0] == "src" and len(parts) > 2:
        return "core_qt" if parts[1:3] == ["core", "qt"] else parts[1]
    return None


def tests_for(path, args):
    if args.tests:
        return args.tests
    lib = library_of(path)
    if lib == "core_qt":
        return ["test_core_qt", "test_app_qt"]
    return CALLER_TESTS.get(lib, ALL_TESTS)


def run(cmd, timeout=None, env=None, cwd=None):
    """(returncode or "timeout", output); on timeout the whole process group is killed."""
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env, cwd=cwd,
                         start_new_session=True, errors="replace")
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return "timeout", ""


class Scratch:
    """A copy of the worktree with a Release and a sanitizer build tree kept between runs."""

    def __init__(self, repo, args):
        self.repo, self.args = repo, args
        self.tree = os.path.join(args.scratch or os.path.join(repo, ".mutation"), "tree")
        # One run at a time in a scratch copy: another would see (and undo) this run's mutants.
        os.makedirs(self.tree, exist_ok=True)
        self.lock = open(os.path.join(os.path.dirname(self.tree), "lock"), "w")
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            sys.exit("another run uses %s; give this one its own --scratch" % os.path.dirname(self.tree))
        self.baseline_time = {}
        self.exes = {}
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=1:abort_on_error=1",
                        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1", CCACHE_NOHASHDIR="1")
        self.env.setdefault("CCACHE_BASEDIR", os.path.dirname(os.path.abspath(repo)))

    def sync(self):
        """Copies what differs from the worktree (tracked and unignored files); untouched files keep their times,
        copied ones take the time of the copy."""
        files = set(git(self.repo, "ls-files", "-co", "--exclude-standard", "-z").split("\0")) - {""}
        files = {f for f in files if not f.startswith((".mutation/", "build"))}
        for f in files:
            src, dst = os.path.join(self.repo, f), os.path.join(self.tree, f)
            if not os.path.isfile(src):
                continue
            with open(src, "rb") as a:
                data = a.read()
            if os.path.isfile(dst):
                with open(dst, "rb") as b:
                    if b.read() == data:
                        continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            # A fresh time, not the source's: an edit older than its object file would not be rebuilt.
            shutil.copyfile(src, dst)
            shutil.copymode(src, dst)
        for top, dirs, names in os.walk(self.tree):
            rel = os.path.relpath(top, self.tree)
            dirs[:] = [d for d in dirs if not (rel == "." and d.startswith("build"))]
            for name in names:
                f = os.path.normpath(os.path.join(rel, name))
                if f not in files:
                    os.remove(os.path.join(top, name))

    def build_dir(self, sanitize):
        return os.path.join(self.tree, "build-test" if sanitize else "build-release-test")

    def build(self, sanitize, targets):
        bdir = self.build_dir(sanitize)
        if not os.path.isfile(os.path.join(bdir, "CMakeCache.txt")):
            cfg = ["cmake", "-S", self.tree, "-B", bdir, "-G", "Ninja", "-DVKEST_BENCH=OFF",
                   "-DCMAKE_BUILD_TYPE=" + ("RelWithDebInfo" if sanitize else "Release")]
            if sanitize:
                cfg.append("-DVKEST_SANITIZE=ON")
            if not self.args.no_ccache and shutil.which("ccache"):
                cfg.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
            code, out = run(cfg + self.args.cmake_arg, env=self.env)
            if code != 0:
                sys.exit("configure failed:\n" + out)
        return run(["cmake", "--build", bdir, "-j", str(self.args.jobs), "--target", *targets], env=self.env)

    def exe(self, sanitize, name):
        key = (sanitize, name)
        if key not in self.exes:
            for top, _, names in os.walk(self.build_dir(sanitize)):
                if name in names:
                    self.exes[key] = os.path.join(top, name)
                    break
            else:
                sys.exit("no test program %s in %s" % (name, self.build_dir(sanitize)))
        return self.exes[key]

    def test(self, sanitize, tests, timeout):
        """"pass", "fail: <program>" or "timeout"."""
        start = time.monotonic()
        for name in tests:
            cmd = [self.exe(sanitize, name)]
            if self.args.gtest_filter:
                cmd.append("--gtest_filter=" + self.args.gtest_filter)
            left = None if timeout is None else max(1.0, timeout - (time.monotonic() - start))
            code, out = run(cmd, timeout=left, env=self.env, cwd=self.build_dir(sanitize))
            if code == "timeout":
                return "timeout", out
            if code != 0:
                return "fail: " + name, out
        return "pass", ""

    def baseline(self, sanitize, tests):
        """Builds and runs the unmutated tests once per build kind and set of tests; they must pass."""
        key = (sanitize, tuple(tests))
        if key not in self.baseline_time:
            code, out = self.build(sanitize, tests)
            if code != 0:
                sys.exit("the unmutated tree does not build:\n" + out[-4000:])
            start = time.monotonic()
            verdict, out = self.test(sanitize, tests, None)
            if verdict != "pass":
                sys.exit("the unmutated tests do not pass (%s):\n%s" % (verdict, out[-4000:]))
            self.baseline_time[key] = time.monotonic() - start
        return self.baseline_time[key]

    def try_mutant(self, m, sanitize, tests):
        took = self.baseline(sanitize, tests)
        timeout = self.args.timeout or 3 * took + 20
        path = os.path.join(self.tree, m["path"])
        with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
            original = f.read()
        lines = original.split("\n")
        line = lines[m["line"] - 1]
        c = m["col"] - 1
        assert line[c:c + len(m["before"])] == m["before"], (m, line)
        lines[m["line"] - 1] = line[:c] + m["after"] + line[c + len(m["before"]):]
        try:
            with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="") as f:
                f.write("\n".join(lines))
            code, _ = self.build(sanitize, tests)
            if code != 0:
                return "build failed", ""
            verdict, _ = self.test(sanitize, tests, timeout)
            return {"pass": "not caught", "timeout": "timeout"}.get(verdict, "caught"), verdict
        finally:
            with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="") as f:
                f.write(original)


def read_equivalents(args):
    marks = set(args.equivalent)
    if args.notes:
        with open(args.notes, encoding="utf-8") as f:
            for line in f:
                line = line.split("#", 1)[0].strip()
                if line:
                    marks.add(line.split()[0])
    return marks


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--base", help="base commit: mutate the src/ lines added or changed since it")
    ap.add_argument("--library", help="mutate every line of src/NAME/ instead")
    ap.add_argument("--files", nargs="+", default=[], help="only paths matching these globs (src/peaks/fitra*)")
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--count", type=int, default=20)
    ap.add_argument("--tests", nargs="+", default=[], help="test programs to run (default: the library's and "
                    "its callers')")
    ap.add_argument("--gtest-filter", help="passed to every test program")
    ap.add_argument("--jobs", type=int, default=3, help="build jobs")
    ap.add_argument("--timeout", type=float, help="seconds of testing per mutant (default 3 x unmutated + 20)")
    ap.add_argument("--sanitize", choices=["auto", "always", "never"], default="auto",
                    help="sanitizer build for mutants on lines that index (auto), for all, or for none")
    ap.add_argument("--equivalent", nargs="+", default=[], metavar="PATH:LINE:COL[:AFTER]",
                    help="mutants judged not to change behaviour (AFTER picks one change of the token)")
    ap.add_argument("--notes", help="file of equivalent mutants, one 'path:line:col[:after]  reason' a line")
    ap.add_argument("--list", action="store_true", help="print the drawn mutants, build nothing")
    ap.add_argument("--repo", default=".", help="the worktree (default: the current directory)")
    ap.add_argument("--scratch", help="scratch directory (default: .mutation in the worktree)")
    ap.add_argument("--cmake-arg", action="append", default=[], help="extra configure argument")
    ap.add_argument("--no-ccache", action="store_true")
    args = ap.parse_args()
    if bool(args.base) == bool(args.library):
        ap.error("give one of --base and --library")
    repo = git(args.repo, "rev-parse", "--show-toplevel").strip()

    lines = changed_lines(repo, args.base) if args.base else library_lines(repo, args.library)
    cands = candidates(repo, lines, args.files)
    drawn = random.Random(args.seed).sample(cands, min(args.count, len(cands)))
    drawn.sort(key=lambda m: (m["path"], m["line"], m["col"], m["after"]))
    print("%d mutants drawn from %d candidates (seed %d, %s)" % (len(drawn), len(cands), args.seed,
          "base " + args.base if args.base else "library " + args.library))
    equivalents = read_equivalents(args)
    scratch = None if args.list else Scratch(repo, args)
    if scratch:
        scratch.sync()

    counts = {}
    for k, m in enumerate(drawn, 1):
        where = "%s:%d:%d" % (m["path"], m["line"], m["col"])
        sanitize = args.sanitize == "always" or (args.sanitize == "auto" and m["index"])
        detail = ""
        if args.list:
            status = "-"
        elif where in equivalents or "%s:%s" % (where, m["after"]) in equivalents:
            status = "equivalent"
        else:
            status, detail = scratch.try_mutant(m, sanitize, tests_for(m["path"], args))
        counts[status] = counts.get(status, 0) + 1
        print("[%2d/%d] %-12s %s  %s -> %s%s  | %s%s" % (k, len(drawn), status, where, m["before"], m["after"],
              " (sanitizer)" if sanitize else "", m["text"].strip()[:80],
              "  [" + detail + "]" if detail.startswith("fail") else ""), flush=True)
    if args.list:
        return
    caught = counts.get("caught", 0) + counts.get("timeout", 0)
    changing = caught + counts.get("not caught", 0)
    print("score: %d of %d behaviour-changing mutants caught (%.0f %%); seed %d; timeouts %d (counted caught), "
          "build failed %d, equivalent %d" % (caught, changing, 100.0 * caught / changing if changing else 0.0,
                                              args.seed, counts.get("timeout", 0), counts.get("build failed", 0),
                                              counts.get("equivalent", 0)))


if __name__ == "__main__":
    main()
