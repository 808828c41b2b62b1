#!/usr/bin/python3
"""The mutation sample tool on a fixture repository: one library, one test program, two changed lines.

The test checks add() and not sub(), so of the two mutants drawn on the changed lines
(+ -> - in add, - -> + in sub) the test catches one: the tool must report 1 of 2.
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mutation_sample.py")

FILES = {
    "CMakeLists.txt": "cmake_minimum_required(VERSION 3.16)\nproject(fixture CXX)\n"
                      "add_library(fix STATIC src/fix/fix.cpp)\n"
                      "add_executable(test_fix tests/test_fix.cpp)\ntarget_link_libraries(test_fix fix)\n",
    "src/fix/fix.h": "int add(int a, int b);\nint sub(int a, int b);\n",
    "tests/test_fix.cpp": '#include "../src/fix/fix.h"\nint main() { return add(2, 3) == 5 ? 0 : 1; }\n',
}
BASE_CPP = '#include "fix.h"\n// add and sub\n'
CHANGED_CPP = ('#include "fix.h"\n// add and sub\n'
               "int add(int a, int b) { return a + b; }\n"
               "int sub(int a, int b) { return a - b; }  // \"a - b\" in a comment is not mutated\n")


class MutationSampleFixture(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.repo = os.path.join(cls.tmp.name, "repo")
        for path, text in dict(FILES, **{"src/fix/fix.cpp": BASE_CPP}).items():
            os.makedirs(os.path.dirname(os.path.join(cls.repo, path)), exist_ok=True)
            with open(os.path.join(cls.repo, path), "w") as f:
                f.write(text)
        cls.git("init", "-q")
        cls.git("add", ".")
        cls.git("commit", "-q", "-m", "base")
        cls.base = cls.git("rev-parse", "HEAD").strip()
        with open(os.path.join(cls.repo, "src/fix/fix.cpp"), "w") as f:
            f.write(CHANGED_CPP)
        cls.git("commit", "-q", "-am", "add and sub")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def git(cls, *args):
        return subprocess.run(["git", "-C", cls.repo, "-c", "user.name=fixture", "-c", "user.email=fixture@localhost",
                               *args], check=True, capture_output=True, text=True).stdout

    def tool(self, *args):
        p = subprocess.run([sys.executable, TOOL, "--repo", self.repo, "--base", self.base, "--seed", "1",
                            "--count", "10", "--tests", "test_fix", "--sanitize", "never", "--no-ccache",
                            "--jobs", "2", "--scratch", os.path.join(self.tmp.name, "scratch"), *args],
                           capture_output=True, text=True, timeout=300)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        return p.stdout

    def test_one_of_two_caught(self):
        out = self.tool()
        self.assertIn("2 mutants drawn from 2 candidates", out)
        self.assertRegex(out, r"caught\s+src/fix/fix.cpp:3:34  \+ -> -")
        self.assertRegex(out, r"not caught\s+src/fix/fix.cpp:4:34  - -> \+")
        self.assertIn("score: 1 of 2 behaviour-changing mutants caught (50 %)", out)
        # The worktree is left as it was.
        with open(os.path.join(self.repo, "src/fix/fix.cpp")) as f:
            self.assertEqual(f.read(), CHANGED_CPP)

    def test_equivalent_mark_leaves_the_score(self):
        out = self.tool("--equivalent", "src/fix/fix.cpp:4:34")
        self.assertRegex(out, r"equivalent\s+src/fix/fix.cpp:4:34")
        self.assertIn("score: 1 of 1 behaviour-changing mutants caught (100 %)", out)

    def test_an_edited_test_older_than_its_object_is_rebuilt(self):
        self.tool()
        path = os.path.join(self.repo, "tests/test_fix.cpp")
        self.addCleanup(self.git, "checkout", "--", "tests/test_fix.cpp")
        with open(path, "w") as f:
            f.write('#include "../src/fix/fix.h"\nint main() { return add(2, 3) == 5 && sub(5, 3) == 2 ? 0 : 1; }\n')
        os.utime(path, (946684800, 946684800))  # the edit carries a time from 2000
        self.assertIn("score: 2 of 2 behaviour-changing mutants caught (100 %)", self.tool())


class OneTokenChanges(unittest.TestCase):
    """The changes drawn from a line: comments, strings, templates and preprocessor lines are left alone."""

    def test_table(self):
        sys.path.insert(0, os.path.dirname(TOOL))
        import mutation_sample as ms
        rows = [
            ("if (a < b && c >= 2) x += 1.5;", ["< -> <=", "&& -> ||", ">= -> >", "2 -> 3", "2 -> 1", "+= -> -=",
                                                "1.5 -> 1.6", "1.5 -> 1.4"]),
            ("std::array<int, 3> v = f(\"a < b\"); // 4 - 1", ["3 -> 4", "3 -> 2"]),
            ("y = std::max(p->q, 0) * 1e-6;", ["max -> min", "0 -> 1", "* -> /", "1e-6 -> 2e-6", "1e-6 -> 0e-6"]),
            ("#define N 10", []),
            ("assert(i < n);", []),
            ("for (int i = 0; i != n; ++i) t = !done;", ["0 -> 1", "!= -> ==", "++ -> --"]),
        ]
        for line, want in rows:
            got = ["%s -> %s" % (b, a) for _, b, a in ms.mutations_of_line(ms.masked(line)[0])]
            self.assertEqual(sorted(got), sorted(want), line)
        self.assertTrue(ms.in_index("m[i + 1][j] = 0;", 5))
        self.assertFalse(ms.in_index("m[i][j] = k + 1;", 16))


if __name__ == "__main__":
    unittest.main()
