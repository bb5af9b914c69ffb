#!/usr/bin/env python3
"""Fails when a function in the given folders is longer than the limit.

A function's length runs from the first line of its signature (a template
line included) to its closing brace, as clang-format lays the file out:
lambdas and local classes count with the function they are in. Usage:

    check-functions.py LIMIT FOLDER... [--allow=FILE:NAME]...

An allowed function may be long for now; one that no longer is gets a note
(take it off the list).
"""
import pathlib
import re
import subprocess
import sys


def blank_out(text):
    """Comments, string and character literals and preprocessor lines as
    spaces, line breaks kept, so that braces and lines can be counted."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A directive, with its continuation lines.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        if c == "/" and text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
            continue
        if c == "/" and text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
            continue
        raw = re.match(r'R"([^()\\\s]{0,16})\(', text[i:i + 20])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
            continue
        if c in "\"'":
            # A digit separator (1'000) is no literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (min(j, n - 1) + 1 - i))
            i = j + 1
            continue
        out.append(c)
        line_start = c == "\n" or (line_start and c in " \t")
        i += 1
    return "".join(out)


SCOPE = re.compile(r"\b(namespace|class|struct|union|enum)\b|\bextern\s*$")
LABEL = re.compile(r"\b(public|private|protected)\s*:(?!:)")


def functions(path):
    """(name, first line, length) of each function defined in the file."""
    text = blank_out(path.read_text(encoding="utf-8", errors="replace"))
    # Access labels are no part of the signature that follows them.
    text = LABEL.sub(lambda m: " " * len(m.group(0)), text)
    line_of = [0] * (len(text) + 1)
    line = 1
    for k, ch in enumerate(text):
        line_of[k] = line
        if ch == "\n":
            line += 1
    found = []

    def match(k):
        depth = 0
        for j in range(k, len(text)):
            if text[j] == "{":
                depth += 1
            elif text[j] == "}":
                depth -= 1
                if depth == 0:
                    return j
        return len(text) - 1

    def scan(begin, end):
        head = begin
        k = begin
        while k < end:
            ch = text[k]
            if ch in ";}":
                head = k + 1
            elif ch == "{":
                before = text[head:k]
                close = match(k)
                after = text[close + 1:close + 40].lstrip()
                if before.count("(") > before.count(")"):
                    k = close  # a braced default argument: the head goes on
                elif SCOPE.search(before) and "(" not in before.split("=")[0]:
                    scan(k + 1, close)  # a namespace or a class: look inside
                    head = close + 1
                    k = close
                elif ")" in before and after[:1] in (",", "{"):
                    pass  # a member braced in a constructor's initializer list
                elif ")" in before and not re.search(r"=\s*\[", before):
                    start = head + len(before) - len(before.lstrip())
                    name = re.findall(r"(operator\s*\S+?|~?[\w:~]+)\s*$", before.split("(")[0])
                    found.append((name[0] if name else "?", line_of[start],
                                  line_of[close] - line_of[start] + 1))
                    head = close + 1
                    k = close
                elif ")" in before:
                    head = close + 1  # a lambda held by a variable
                    k = close
                else:
                    k = close  # an initializer
            k += 1

    scan(0, len(text))
    return found


def main(argv):
    limit = int(argv[1])
    folders, allowed = [], {}
    for arg in argv[2:]:
        if arg.startswith("--allow="):
            allowed[arg[len("--allow="):]] = False
        else:
            folders.append(arg)
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "--"] +
                           [f + "/*.cpp" for f in folders] + [f + "/*.h" for f in folders],
                           capture_output=True, text=True, check=True).stdout.split()
    faults = count = 0
    for file in sorted(set(files)):
        for name, line, length in functions(pathlib.Path(file)):
            count += 1
            key = f"{file}:{name}"
            if length <= limit:
                continue
            if key in allowed:
                allowed[key] = True
                continue
            print(f"check-functions: {file}:{line}: {name} is {length} lines, over {limit}")
            faults += 1
    for key, used in allowed.items():
        if not used:
            print(f"check-functions: {key} is no longer over {limit} lines: take it off the list")
    if faults:
        print(f"check-functions: {faults} of {count} functions in {' '.join(folders)} over {limit} lines")
        return 1
    print(f"check-functions: {count} functions in {' '.join(folders)}, none over {limit} lines"
          f" ({sum(allowed.values())} allowed for now)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
