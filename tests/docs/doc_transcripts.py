#!/usr/bin/env python3
"""Runs the commands of README.md or the manual page as a reader would, against simulated
gauges, and holds them to the output the document shows.

README.md: every ```sh block runs, line by line, in one scratch folder per document (shell
variables exported by one line reach the next). A ``` block without a language directly after
it (only prose between) is the output promised: stdout and stderr as the reader's terminal
shows them, whole, where a line "..." stands for any number of lines and "..." within a line
for any text. A block without shown output must still succeed (exit status 0). An HTML
comment on the line before a block steers it, invisibly to readers:
  <!-- doc-test: skip REASON -->            not run (builds, installs, needs root)
  <!-- doc-test: env NAME=VALUE ... -->     environment of the block's commands
  <!-- doc-test: save FILE -->              a ```c or ```python block is written to FILE
  <!-- doc-test: python -->                 a ```python block runs as it stands
  <!-- doc-test: starts-only TEXT, ... -->  commands containing a TEXT are only started
  <!-- doc-test: real-clock -->             the commands wait in real time (see below)
A command whose comment says "until Ctrl+C" is only started too: it must print, then end
with status 0 and its break message on SIGINT.

The manual page: each line of the EXAMPLES section's .nf block is a command run the same way.

Every command sees QX5SIM=2 unless it or its block says otherwise, qx5cmd on PATH, and in the
scratch folder `build/release` (the build tree), `python`, `examples` and `packaging`. Commands
run to their end share one virtual clock (QX5_VIRTUAL_CLOCK), so the tester's fixed waits take
no time; a command that is only started keeps the real clock (a loop it is stopped in would
otherwise never wait), and so does a block whose shown statistics are durations of waits.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

COMMAND_TIMEOUT_S = 120
START_TIMEOUT_S = 30
DIRECTIVE = re.compile(r"^<!--\s*doc-test:\s*(.*?)\s*-->$")


class Block:
    def __init__(self, lang, lines, line_no, directive):
        self.lang, self.lines, self.line_no, self.directive = lang, lines, line_no, directive
        self.output = None  # the shown output, for a command block


def markdown_blocks(text):
    blocks, lines = [], text.splitlines()
    i = 0
    while i < len(lines):
        m = re.match(r"^```(\w*)\s*$", lines[i])
        if not m:
            i += 1
            continue
        before = next((lines[k].strip() for k in range(i - 1, -1, -1) if lines[k].strip()), "")
        start, i = i, i + 1
        body = []
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        i += 1
        block = Block(m.group(1), body, start + 1, directives(before))
        previous = blocks[-1] if blocks else None
        if block.lang == "" and previous and previous.lang == "sh" and previous.output is None:
            previous.output = body
        else:
            blocks.append(block)
    return blocks


def directives(line):
    """{"env": "A=1 B=2", "starts-only": "x, y"} from <!-- doc-test: env A=1 B=2; starts-only x, y -->"""
    m = DIRECTIVE.match(line)
    if not m:
        return {}
    found = {}
    for part in m.group(1).split(";"):
        kind, _, value = part.strip().partition(" ")
        found[kind.rstrip(":")] = value.strip()
    return found


def man_page_blocks(text):
    section = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH )", text, re.S | re.M)
    if not section:
        raise SystemExit("no EXAMPLES section")
    nf = re.search(r"^\.nf\n(.*?)^\.fi$", section.group(1), re.S | re.M)
    lines = [l.replace("\\-", "-").replace("\\(dq", '"').replace("\\\\", "\\")
             for l in nf.group(1).splitlines()]
    return [Block("sh", lines, 0, {})]


def split_comment(line):
    quote = None
    for i, c in enumerate(line):
        if quote:
            quote = None if c == quote else quote
        elif c in "'\"":
            quote = c
        elif c == "#" and (i == 0 or line[i - 1].isspace()):
            return line[:i].strip(), line[i + 1:].strip()
    return line.strip(), ""


def line_pattern(expected):
    return re.compile(".*".join(re.escape(p) for p in expected.rstrip().split("...")))


def matches(expected, actual):
    """Whole-output match; an expected line "..." takes any number of lines."""
    actual = [a.rstrip() for a in actual]
    reachable = {0}  # how many actual lines the expected lines so far can account for
    for line in expected:
        if line.strip() == "...":
            reachable = set(range(min(reachable), len(actual) + 1)) if reachable else set()
        else:
            p = line_pattern(line)
            reachable = {j + 1 for j in reachable if j < len(actual) and p.fullmatch(actual[j])}
    return len(actual) in reachable


class Runner:
    def __init__(self, build, source, scratch):
        self.scratch, self.failures, self.verbose = scratch, [], False
        self.count = self.compared = 0
        os.makedirs(os.path.join(scratch, "build"))
        os.symlink(os.path.abspath(build), os.path.join(scratch, "build", "release"))
        for name in ("python", "examples", "packaging"):
            os.symlink(os.path.join(source, name), os.path.join(scratch, name))
        self.state = os.path.join(scratch, ".doc-test-state")
        self.clock = os.path.join(scratch, ".doc-test-clock")
        env = {k: v for k, v in os.environ.items() if not k.startswith("QX5")}
        env.update(PATH=os.path.join(os.path.abspath(build), "bin") + os.pathsep + env["PATH"],
                   QX5SIM="2", LC_ALL="C", PYTHONDONTWRITEBYTECODE="1")
        with open(self.state, "w") as f:
            f.write("".join(f"export {k}={shell_quote(v)}\n" for k, v in env.items()))

    def shell(self, command, block_env, virtual_clock=True):
        exports = (f"export QX5_VIRTUAL_CLOCK={shell_quote(self.clock)}\n" if virtual_clock
                   else "unset QX5_VIRTUAL_CLOCK\n")
        exports += "".join(f"export {e}\n" for e in block_env)
        script = (f". {shell_quote(self.state)}\n{exports}cd {shell_quote(self.scratch)}\n"
                  f"{command}\nstatus=$?\nexport -p > {shell_quote(self.state)}.new\n"
                  f"exit $status\n")
        return ["bash", "-c", script]

    def keep_state(self):
        new = self.state + ".new"
        if os.path.exists(new):
            os.replace(new, self.state)

    def fail(self, where, command, why, output):
        self.failures.append(f"{where}: {command}\n  {why}\n" +
                             "".join(f"  | {l}\n" for l in output.splitlines()))

    def run_block(self, where, block, block_env, starts_only, virtual_clock=True):
        outputs = []
        for raw in block.lines:
            command, comment = split_comment(raw)
            if not command:
                continue
            self.count += 1
            started = time.monotonic()
            if self.verbose:
                print(f"{where}: {command}", flush=True)
            if "until Ctrl+C" in comment or any(s in command for s in starts_only):
                self.start_only(where, command, block_env)
                continue
            try:
                r = subprocess.run(self.shell(command, block_env, virtual_clock), stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, timeout=COMMAND_TIMEOUT_S)
            except subprocess.TimeoutExpired as e:
                self.fail(where, command, f"still running after {COMMAND_TIMEOUT_S} s",
                          (e.stdout or b"").decode("latin-1"))
                return
            self.keep_state()
            if self.verbose:
                print(f"  {time.monotonic() - started:.1f} s", flush=True)
            text = r.stdout.decode("latin-1")
            outputs.append(text)
            if r.returncode != 0:
                self.fail(where, command, f"exit status {r.returncode}", text)
                return
        if block.output is not None:
            self.compared += 1
            actual = "".join(outputs).splitlines()
            if not matches(block.output, actual):
                self.fail(where, " ; ".join(l for l in block.lines if l.strip()),
                          "output differs from the document's; it was:", "\n".join(actual))

    def start_only(self, where, command, block_env):
        p = subprocess.Popen(self.shell(command, block_env, False), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, start_new_session=True)
        seen, printed = [], threading.Event()

        def read():
            for chunk in iter(lambda: p.stdout.read1(4096), b""):
                seen.append(chunk)
                if b"".join(seen).strip():
                    printed.set()

        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        started = printed.wait(START_TIMEOUT_S)
        time.sleep(0.5)  # well inside its loop
        if p.poll() is not None:
            reader.join(5)
            self.fail(where, command, f"ended (status {p.returncode}) instead of running on",
                      b"".join(seen).decode("latin-1"))
            return
        os.killpg(p.pid, signal.SIGINT)
        try:
            status = p.wait(15)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            status = p.wait()
        reader.join(5)
        text = b"".join(seen).decode("latin-1")
        if not started or status != 0 or "<.. break ..>" not in text:
            self.fail(where, command, f"did not start and stop on Ctrl+C (status {status})", text)


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("document")
    parser.add_argument("--build", required=True, help="the build tree (build/release)")
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    parser.add_argument("--verbose", action="store_true", help="each command and its time")
    args = parser.parse_args()
    source = os.path.abspath(args.source)
    with open(args.document, encoding="utf-8") as f:
        text = f.read()
    is_man = args.document.endswith(".1")
    blocks = man_page_blocks(text) if is_man else markdown_blocks(text)
    scratch = tempfile.mkdtemp(prefix="doc-test-")
    runner = Runner(args.build, source, scratch)
    runner.verbose = args.verbose
    name = os.path.basename(args.document)
    try:
        for block in blocks:
            where = f"{name}:{block.line_no}" if block.line_no else f"{name}: EXAMPLES"
            d = block.directive
            if "skip" in d:
                continue
            if "save" in d:
                with open(os.path.join(scratch, d["save"]), "w") as f:
                    f.write("\n".join(block.lines) + "\n")
                continue
            env = d.get("env", "").split()
            if "python" in d:
                path = os.path.join(scratch, ".doc-test-block.py")
                with open(path, "w") as f:
                    f.write("\n".join(block.lines) + "\n")
                shown = Block("sh", [f"PYTHONPATH=python python3 {path}"], block.line_no, {})
                env.append(f"QX5DLL_LIBRARY={scratch}/build/release/bin/libqx5dll.so")
                runner.run_block(where, shown, env, [])
                continue
            if block.lang != "sh":
                continue
            starts = [s.strip() for s in d.get("starts-only", "").split(",") if s.strip()]
            runner.run_block(where, block, env, starts, "real-clock" not in d)
    finally:
        if args.keep:
            print(f"scratch folder kept: {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    for failure in runner.failures:
        print(failure)
    print(f"{name}: {runner.count} commands, {runner.compared} outputs compared, "
          f"{len(runner.failures)} failed")
    return 1 if runner.failures or runner.count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
