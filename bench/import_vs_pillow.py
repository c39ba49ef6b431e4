#!/usr/bin/env python3
"""Times `ledwheel import` against what a user might run instead, a minimal Pillow script
(bench/pillow_import.py), on the benchmarks' photograph stand-in: a 4000 x 3000 JPEG and a
4096 x 4096 PNG. Prints the median wall time and peak memory of each, and the ratios: how many
times faster the import is. Runs are interleaved, so a busy machine slows all alike.

Usage: bench/import_vs_pillow.py [BUILD_DIR (default build)] [RUNS (default 7)]
Needs Pillow (Debian: python3-pil) and the build's ledwheel and bench/photo_file."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The targets the import must reach: times faster than each Pillow script.
TARGETS = {("jpeg", "draft"): 1.5, ("png", "whole"): 1.2}


def python_with_pillow():
    for python in (sys.executable, "/usr/bin/python3"):
        if python and subprocess.run([python, "-c", "import PIL"], capture_output=True).returncode == 0:
            return python
    sys.exit("import_vs_pillow: Pillow is missing (Debian: apt-get install python3-pil)")


def run(command):
    """Wall time in seconds and peak memory in MB of one run of command."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit("import_vs_pillow: failed: " + " ".join(command) + "\n" + process.stderr.read().decode())
    process.stderr.close()
    return elapsed, usage.ru_maxrss / 1024


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    python = python_with_pillow()
    ledwheel = os.path.join(build, "ledwheel")
    script = os.path.join(HERE, "pillow_import.py")
    with tempfile.TemporaryDirectory() as tmp:
        jpeg = os.path.join(tmp, "photo4000.jpg")
        png = os.path.join(tmp, "photo4096.png")
        subprocess.run([os.path.join(build, "bench", "photo_file"), png, "4000", "3000"], check=True)
        # A camera's kind of JPEG: quality 95, colour at half resolution.
        subprocess.run([python, "-c", "import sys; from PIL import Image; "
                        "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2], quality=95)",
                        png, jpeg], check=True)
        subprocess.run([os.path.join(build, "bench", "photo_file"), png, "4096", "4096"], check=True)
        out = os.path.join(tmp, "out.txt")
        cases = {
            "jpeg": {
                "ledwheel": [ledwheel, "import", jpeg, "-o", out],
                "whole": [python, script, jpeg, out],
                "draft": [python, script, jpeg, out, "--draft"],
            },
            "png": {
                "ledwheel": [ledwheel, "import", png, "-o", out],
                "whole": [python, script, png, out],
            },
        }
        for name, commands in cases.items():
            times = {key: [] for key in commands}
            memory = {key: 0.0 for key in commands}
            for _ in range(runs):
                for key, command in commands.items():
                    seconds, megabytes = run(command)
                    times[key].append(seconds)
                    memory[key] = max(memory[key], megabytes)
            picture = jpeg if name == "jpeg" else png
            size = "4000 x 3000" if name == "jpeg" else "4096 x 4096"
            print(f"{name.upper()} {size} ({os.path.getsize(picture) / 1e6:.1f} MB), median of {runs}:")
            ours = statistics.median(times["ledwheel"])
            print(f"  ledwheel import          {ours * 1000:6.0f} ms  {memory['ledwheel']:6.1f} MB")
            for key in commands:
                if key == "ledwheel":
                    continue
                theirs = statistics.median(times[key])
                label = "Pillow, whole decode" if key == "whole" else "Pillow, draft (1/4)"
                target = TARGETS.get((name, key))
                note = f"  (target >= {target}x: {'met' if theirs / ours >= target else 'NOT MET'})" if target else ""
                print(f"  {label:24} {theirs * 1000:6.0f} ms  {memory[key]:6.1f} MB  "
                      f"ledwheel {theirs / ours:.2f}x faster{note}")


if __name__ == "__main__":
    main()
