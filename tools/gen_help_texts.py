#!/usr/bin/python3
"""Writes the stored form of the help texts from their UTF-8 master file.

    gen_help_texts.py [master [header [source]]]

defaults: tools/help_texts.txt -> src/core/help_texts.h and src/core/help_texts_data.cpp.

The master file holds, outside blocks, comment lines beginning with "#" and empty lines, and
these blocks:

    @@topic <number> <Name> : <subject>
    <English lines>
    @@russian
    <Russian lines, the same number>
    @@end

    @@text <Name> : <subject>
    <lines of one language, English>
    @@end

Inside a block every line is taken as it is (trailing blanks too); an empty line stands for a
line of one blank. Topics are numbered 1, 2, ... in the order of the file. The Russian lines are
stored in code page 866, the code page the program keeps them in; it converts them to code page
1251 when it shows them.

Refused here, not at run time: a topic of more than 100 lines (the capacity of the help page),
unequal English and Russian line counts, a character other than printable ASCII in English text,
a Russian character outside printable ASCII and the Cyrillic letters A..ya (the letters Yo and yo
are not converted for display and must be written as Ye and ye), and a line over 80 characters.
"""
import os
import re
import sys

HELP_LINE_CAPACITY = 100
MAX_LINE = 80
NAME = re.compile(r"^[A-Z][A-Za-z0-9]*$")


class MasterError(Exception):
    pass


def parse(path):
    topics, texts = [], []
    block = None
    with open(path, encoding="utf-8", newline="") as f:
        raw = f.read().split("\n")
    if raw and raw[-1] == "":
        raw.pop()
    for number, line in enumerate(raw, 1):
        line = line.rstrip("\r")
        where = f"{path}:{number}"
        if block is None:
            if line == "" or line.startswith("#"):
                continue
            m = re.match(r"^@@topic\s+(\d+)\s+(\S+)\s*:\s*(.*)$", line)
            if m:
                block = {"kind": "topic", "number": int(m.group(1)), "name": m.group(2),
                         "subject": m.group(3).strip(), "en": [], "ru": [], "part": "en",
                         "where": where}
                continue
            m = re.match(r"^@@text\s+(\S+)\s*:\s*(.*)$", line)
            if m:
                block = {"kind": "text", "name": m.group(1), "subject": m.group(2).strip(),
                         "en": [], "part": "en", "where": where}
                continue
            raise MasterError(f"{where}: text outside a block: {line!r}")
        if line == "@@russian" and block["kind"] == "topic" and block["part"] == "en":
            block["part"] = "ru"
        elif line == "@@end":
            (topics if block["kind"] == "topic" else texts).append(block)
            block = None
        elif line.startswith("@@"):
            raise MasterError(f"{where}: unexpected {line!r}")
        else:
            block[block["part"]].append((where, line if line != "" else " "))
    if block is not None:
        raise MasterError(f"{block['where']}: block without @@end")
    return topics, texts


def check_english(where, line):
    for ch in line:
        if not " " <= ch <= "~":
            raise MasterError(f"{where}: not printable ASCII: {ch!r}")


def check_russian(where, line):
    for ch in line:
        if ch in "\u0401\u0451":
            raise MasterError(f"{where}: the letter {ch} is not shown right; write {'Е' if ch == 'Ё' else 'е'}")
        if not (" " <= ch <= "~" or "\u0410" <= ch <= "\u044f"):
            raise MasterError(f"{where}: neither printable ASCII nor a Cyrillic letter: {ch!r}")


def check(topics, texts):
    names = set()
    for k, t in enumerate(topics, 1):
        if t["number"] != k:
            raise MasterError(f"{t['where']}: topic {t['number']} where {k} is due")
    for b in topics + texts:
        if not NAME.match(b["name"]) or b["name"] in names:
            raise MasterError(f"{b['where']}: bad or repeated name {b['name']!r}")
        names.add(b["name"])
        if not b["en"]:
            raise MasterError(f"{b['where']}: {b['name']} has no lines")
        for where, line in b["en"]:
            check_english(where, line)
        for where, line in b.get("ru", []):
            check_russian(where, line)
        for where, line in b["en"] + b.get("ru", []):
            if len(line) > MAX_LINE:
                raise MasterError(f"{where}: line of {len(line)} characters, more than {MAX_LINE}")
    for t in topics:
        if len(t["en"]) != len(t["ru"]):
            raise MasterError(f"{t['where']}: {t['name']} has {len(t['en'])} English and "
                              f"{len(t['ru'])} Russian lines")
        if len(t["en"]) > HELP_LINE_CAPACITY:
            raise MasterError(f"{t['where']}: {t['name']} has {len(t['en'])} lines, more than "
                              f"{HELP_LINE_CAPACITY}")


def c_string(data):
    """A C++ string literal of bytes; bytes above 127 as three-digit octal escapes."""
    out = []
    for b in data:
        if b == 0x22:
            out.append('\\"')
        elif b == 0x5C:
            out.append("\\\\")
        elif 0x20 <= b <= 0x7E:
            out.append(chr(b))
        else:
            out.append(f"\\{b:03o}")
    return '"' + "".join(out) + '"'


HEADER_NOTE = "// Generated by tools/gen_help_texts.py from tools/help_texts.txt: edit those, not this file.\n"


def write_header(topics, texts):
    out = [HEADER_NOTE,
           "// The help topics by name and by number, and the one-language help texts. A topic holds its\n",
           "// lines in English and then in Russian (code page 866); SetHelpLines loads one into the help page.\n",
           "#pragma once\n",
           "#include <cstdint>\n",
           "#include <string>\n",
           "#include <vector>\n",
           "\n",
           "struct THelpTopic;\n",
           "\n",
           f"constexpr int32_t HelpTopicCount = {len(topics)};\n",
           "\n"]
    for t in topics:
        out.append(f"extern const THelpTopic {t['name']};  // {t['number']}, {len(t['en'])} line{'s' if len(t['en']) != 1 else ''}: {t['subject']}\n")
    out += ["\n",
            "// The topics by number, [1..HelpTopicCount]; [0] is the blank page.\n",
            "extern const THelpTopic* const HelpTopics[HelpTopicCount + 1];\n"]
    for b in texts:
        out += ["\n", f"// {b['subject']} ({len(b['en'])} lines)\n",
                f"extern const std::vector<std::string> {b['name']};\n"]
    return "".join(out)


def write_source(topics, texts):
    out = [HEADER_NOTE,
           "// The Russian lines are the code page 866 bytes the program keeps; the comment after each\n",
           "// gives it in UTF-8.\n",
           '#include "core/help_texts.h"\n',
           '#include "core/info_window.h"\n']
    for t in topics:
        out += ["\n", f"// {t['number']}: {t['subject']}\n",
                f"const THelpTopic {t['name']} = {{\n    {len(t['en'])},\n    {{\n"]
        for _, line in t["en"]:
            out.append(f"        {c_string(line.encode('ascii'))},\n")
        for _, line in t["ru"]:
            note = line.rstrip().rstrip("\\")
            out.append(f"        {c_string(line.encode('cp866'))},  // {note}\n")
        out.append("    }};\n")
    out += ["\n", "const THelpTopic* const HelpTopics[HelpTopicCount + 1] = {\n", "    &EmptyHelpTopic,\n"]
    for t in topics:
        out.append(f"    &{t['name']},\n")
    out.append("};\n")
    for b in texts:
        out += ["\n", f"// {b['subject']}\n", f"const std::vector<std::string> {b['name']} = {{\n"]
        for _, line in b["en"]:
            out.append(f"    {c_string(line.encode('ascii'))},\n")
        out.append("};\n")
    return "".join(out)


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    master = argv[1] if len(argv) > 1 else os.path.join(root, "tools", "help_texts.txt")
    header = argv[2] if len(argv) > 2 else os.path.join(root, "src", "core", "help_texts.h")
    source = argv[3] if len(argv) > 3 else os.path.join(root, "src", "core", "help_texts_data.cpp")
    try:
        topics, texts = parse(master)
        check(topics, texts)
    except MasterError as e:
        print(f"gen_help_texts: {e}", file=sys.stderr)
        return 1
    for path, text in ((header, write_header(topics, texts)), (source, write_source(topics, texts))):
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
