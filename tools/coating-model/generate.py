#!/usr/bin/env python3
"""Writes the coating datasets coating/data/datasetA.csv and datasetB.csv from the model.

    python3 tools/coating-model/generate.py [--out DIR]    write both files (default DIR:
                                                           the repository's coating/data)
    python3 tools/coating-model/generate.py --check        regenerate in memory and compare
                                                           with the files in DIR, byte for byte
    python3 tools/coating-model/generate.py --report       print the figures of both datasets

Before anything is written the generated text goes through check.py (every per-sample rule,
each variant's figures, and the differences between the two); data that fails is never
written.  Only the two dataset files in DIR are ever written, each through a temporary file in
the same folder that replaces it at the end.  The output is a pure function of the model and
its parameters: running the generator twice gives identical bytes.
"""

import argparse
import math
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import check      # noqa: E402
import dataset    # noqa: E402

DEFAULT_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "coating", "data"))
NAMES = ("A", "B")


def file_name(variant):
    return "dataset%s.csv" % variant


def generate():
    """{variant: Build} for both variants."""
    return {v: dataset.build(v) for v in NAMES}


def text_of(build):
    return "\n".join(build.lines()) + "\n"


def problems_of(texts):
    problems = []
    rows = {}
    for v in NAMES:
        found, rows[v] = check.check_text(texts[v], file_name(v), v)
        problems += found
    report = check.Report("%s/%s" % (file_name("A"), file_name("B")))
    check.check_differences(rows["A"], rows["B"], report)
    return problems + report.problems, rows


def first_difference(old, new):
    """(line number, committed line, generated line) of the first difference, or None."""
    a = old.split("\n")
    b = new.split("\n")
    for i in range(max(len(a), len(b))):
        x = a[i] if i < len(a) else None
        y = b[i] if i < len(b) else None
        if x != y:
            return i + 1, x, y
    return None


def display(path):
    try:
        return os.path.relpath(path)
    except ValueError:
        return path


def run_check(texts, out_dir):
    status = 0
    for v in NAMES:
        path = os.path.join(out_dir, file_name(v))
        try:
            with open(path, newline="") as f:
                old = f.read()
        except OSError as e:
            print("%s: cannot be read (%s)" % (display(path), e.strerror))
            status = 1
            continue
        diff = first_difference(old, texts[v])
        if diff is None:
            print("%s: reproduced byte for byte" % display(path))
            continue
        line, have, want = diff
        status = 1
        if have == "" and want is None or have is None and want == "":
            print("%s: differs at the end of the file (line %d)" % (display(path), line))
        else:
            print("%s:%d: differs from the generator's output" % (display(path), line))
        print("  file:      %s" % ("(missing)" if have is None else have))
        print("  generated: %s" % ("(missing)" if want is None else want))
    if status:
        print("the data files are not what the model generates; run "
              "'python3 tools/coating-model/generate.py' and review the change", file=sys.stderr)
    return status


def write(texts, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    umask = os.umask(0)
    os.umask(umask)
    for v in NAMES:
        path = os.path.join(out_dir, file_name(v))
        fd, tmp = tempfile.mkstemp(prefix=".%s." % file_name(v), dir=out_dir)
        try:
            os.chmod(tmp, 0o666 & ~umask)
            with os.fdopen(fd, "w", newline="") as f:
                f.write(texts[v])
            os.replace(tmp, path)
        except BaseException:
            if os.path.exists(tmp):
                os.unlink(tmp)
            raise
        print("wrote %s" % display(path))


# --- figures --------------------------------------------------------------------------------

def second_difference_effect(build):
    """For each anchor: the largest change that its correction field makes to a second
    difference of a column along a grid axis, relative to that second difference itself plus
    the rounding step of the column (1e-6 for values, 0.01 deg for angles).  A ratio well
    below 1 means the field leaves no visible seam: it bends the data less than the data
    bends by itself, or less than its last digit."""
    shape = (len(dataset.WAVELENGTHS), len(dataset.INCIDENCES), len(dataset.AZIMUTHS))
    out = []
    for pos in build.anchor_positions:
        radii = dataset.anchor_radii(pos)
        worst = (0.0, None, None)
        ranges = [range(max(1, pos[a] - radii[a]), min(shape[a] - 2, pos[a] + radii[a]) + 1)
                  for a in range(3)]
        for j in dataset.RESPONSE_COLUMNS:
            floor = 0.01 if j in dataset.ANGLE_COLUMNS else 1e-6
            for iw in range(max(0, pos[0] - radii[0]), min(shape[0], pos[0] + radii[0] + 1)):
                for ii in range(max(0, pos[1] - radii[1]), min(shape[1], pos[1] + radii[1] + 1)):
                    for ia in range(max(0, pos[2] - radii[2]),
                                    min(shape[2], pos[2] + radii[2] + 1)):
                        centre = (iw, ii, ia)
                        for axis in range(3):
                            if not 1 <= centre[axis] <= shape[axis] - 2:
                                continue
                            idx = list(centre)
                            d_raw = d_fin = 0.0
                            for off, w in ((-1, 1.0), (0, -2.0), (1, 1.0)):
                                idx[axis] = centre[axis] + off
                                k = dataset.sample_index(*idx)
                                d_raw += w * build.raw[k][j]
                                d_fin += w * build.corrected[k][j]
                            ratio = abs(d_fin - d_raw) / (abs(d_raw) + floor)
                            if ratio > worst[0]:
                                worst = (ratio, dataset.COLUMNS[j],
                                         ("wavelength", "incidence", "azimuth")[axis])
        out.append((pos, worst))
    return out


def report(builds, rows):
    print("figures of the generated datasets")
    for v in NAMES:
        b = builds[v]
        r = rows[v]
        col = lambda name: [x[4][name] for x in r]
        worst_sum = 0.0
        worst_rel = 0.0
        for x in r:
            s = x[4]
            worst_sum = max(worst_sum, abs((s["rs"] + s["rp"]) - (s["rEigen1"] + s["rEigen2"])),
                            abs((s["ts"] + s["tp"]) - (s["tEigen1"] + s["tEigen2"])))
            for e1, e2, ax, a, c in (("rEigen1", "rEigen2", "rAxis", "rs", "rp"),
                                     ("tEigen1", "tEigen2", "tAxis", "ts", "tp")):
                ang = s[ax] * check.DEG_TO_RAD
                sn, cs = math.sin(ang) ** 2, math.cos(ang) ** 2
                worst_rel = max(worst_rel, abs(s[a] - (s[e1] * sn + s[e2] * cs)),
                                abs(s[c] - (s[e1] * cs + s[e2] * sn)))
        rx = sorted(set(col("rExtra")))
        ulps = sum(1 for x in r for n in check.VALUE_NAMES
                   if check.value_form(x[5][n], x[4][n]) == "ulp")
        normal = [x[4] for x in r if x[2] == 0]
        grazing = [x[4] for x in r if x[2] == 89]
        print("dataset %s" % v)
        print("  rAxis %g .. %g, tAxis %g .. %g" % (min(col("rAxis")), max(col("rAxis")),
                                                    min(col("tAxis")), max(col("tAxis"))))
        print("  tExtra %g .. %g (non-zero in %d samples)" % (
            min(col("tExtra")), max(col("tExtra")), sum(1 for t in col("tExtra") if t)))
        print("  rExtra: %d distinct values %s (not 90 in %d samples)" % (
            len(rx), " ".join("%g" % x for x in rx), sum(1 for t in col("rExtra") if t != 90)))
        print("  values one ulp off their six-digit form: %d" % ulps)
        print("  worst sum-rule difference %.10g, worst sin^2/cos^2 residual %.3g"
              % (worst_sum, worst_rel))
        print("  last digits nudged for the sum rules: %d" % len(b.nudged))
        print("  normal incidence: rEigen2 %.4f .. %.4f, tEigen1 %.4f .. %.4f" % (
            min(s["rEigen2"] for s in normal), max(s["rEigen2"] for s in normal),
            min(s["tEigen1"] for s in normal), max(s["tEigen1"] for s in normal)))
        print("  89 deg incidence: rs %.4f .. %.4f, rp %.4f .. %.4f" % (
            min(s["rs"] for s in grazing), max(s["rs"] for s in grazing),
            min(s["rp"] for s in grazing), max(s["rp"] for s in grazing)))
        print("  anchor corrections (largest) and seam check:")
        seams = dict(second_difference_effect(b))
        for pos, amps in zip(b.anchor_positions, b.corrections):
            key = (dataset.WAVELENGTH_TEXTS[pos[0]], dataset.INCIDENCES[pos[1]],
                   dataset.AZIMUTHS[pos[2]])
            raw = b.raw[dataset.sample_index(*pos)]
            rel = max((abs(amps[j]) / raw[j], dataset.COLUMNS[j]) for j in dataset.VALUE_COLUMNS)
            ang = max((abs(amps[j]), dataset.COLUMNS[j]) for j in (4, 10))
            ratio, cname, axis = seams[pos]
            print("    %-11s value %.2g relative (%s), angle %.2g deg (%s); second "
                  "differences changed by <= %.2g x (natural + last digit) (%s along %s)"
                  % ("%s/%d/%d" % key, rel[0], rel[1], ang[0], ang[1], ratio, cname, axis))
    med = check.median_differences(rows["A"], rows["B"])
    print("median relative difference |B - A| / |A|:")
    print("  " + ", ".join("%s %.2f %%" % (n, 100 * med[n]) for n in check.VALUE_NAMES))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", metavar="DIR", default=DEFAULT_DIR,
                    help="folder of datasetA.csv and datasetB.csv (default: %(default)s)")
    mode = ap.add_mutually_exclusive_group()
    mode.add_argument("--check", action="store_true",
                      help="compare the files in DIR with the generator's output; write nothing")
    mode.add_argument("--report", action="store_true",
                      help="print the figures of the generated data; write nothing")
    args = ap.parse_args(argv)

    builds = generate()
    texts = {v: text_of(builds[v]) for v in NAMES}
    problems, rows = problems_of(texts)
    if problems:
        for p in problems:
            print(p)
        print("generated data breaks %d rule(s); nothing written" % len(problems),
              file=sys.stderr)
        return 2
    if args.report:
        report(builds, rows)
        return 0
    if args.check:
        return run_check(texts, args.out)
    write(texts, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
