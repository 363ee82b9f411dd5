#!/usr/bin/env python3
"""Writes app/Application.flf, the language texts the program ships, from
the English texts its windows ask for: every LangText(SECTION, "NNNNN",
"text") of app/*.cpp (SECTION a constant of the same file) and every
{"NNNNN", "text"} caption pair of a file (under that file's kSection).

Run it again after adding or changing a caption; a window test checks that
every caption the windows ask for stands in the shipped file.
"""
import glob
import os
import re
import sys

CONST = re.compile(r'constexpr const char\* (\w+) = "([^"]+)";')
CALL = re.compile(r'LangText\((\w+),\s*"(\d{5})",\s*"((?:[^"\\]|\\.)*)"\)')
PAIR = re.compile(r'\{"(\d{5})", "((?:[^"\\]|\\.)*)"\}')


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    texts = {}
    for path in sorted(glob.glob(os.path.join(root, "app", "*.cpp"))):
        source = open(path, encoding="latin-1").read()
        consts = dict(CONST.findall(source))
        found = [(consts[name], key, text) for name, key, text in CALL.findall(source) if name in consts]
        if "kSection" in consts:
            found += [(consts["kSection"], key, text) for key, text in PAIR.findall(source)]
        for section, key, text in found:
            old = texts.setdefault(section, {}).setdefault(key, text)
            if old != text:
                sys.exit("%s: %s %s is both %r and %r" % (os.path.basename(path), section, key, old, text))
    lines = []
    for section in sorted(texts):
        if lines:
            lines.append("")
        lines.append("[%s]" % section)
        for key in sorted(texts[section]):
            lines.append('%s = "%s"' % (key, texts[section][key]))
    with open(os.path.join(root, "app", "Application.flf"), "w", encoding="latin-1", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
