#!/usr/bin/env python3
"""Checks a coating data file (CSV) against the rules every coating table keeps.

    python3 check.py FILE.csv [--dataset A|B] [--against OTHER.csv]

Every per-sample rule is evaluated in IEEE double arithmetic (Python floats), as the C++
side would.  Violations are reported as FILE:LINE: [rule] detail, line 1 being the header
and the samples lines 2 .. 11192.  With --dataset (or a file named datasetA/datasetB) the
figures that describe that variant are checked too; with --against the other variant's
file, the differences between the two.  Exit status 0 when nothing is wrong, 1 otherwise.

The checker is written independently of the generator: it shares no code with it.
"""

import argparse
import math
import os
import re
import sys

HEADER = ("wavelength,incidence,azimuth,rs,rp,rEigen1,rEigen2,rAxis,rExtra,"
          "ts,tp,tEigen1,tEigen2,tAxis,tExtra")
COLUMNS = HEADER.split(",")[3:]
WAVELENGTH_TEXTS = ["0.%02d" % (40 + i) for i in range(31)]
INCIDENCES = list(range(0, 90, 5)) + [89]
AZIMUTHS = list(range(0, 91, 5))
SAMPLES = len(WAVELENGTH_TEXTS) * len(INCIDENCES) * len(AZIMUTHS)
ANGLE_NAMES = ("rAxis", "rExtra", "tAxis", "tExtra")
VALUE_NAMES = tuple(c for c in COLUMNS if c not in ANGLE_NAMES)

DEG_TO_RAD = 0.017453292519943295


def relation_bounds():
    """The bounds of the relations every sample keeps, from the file the build-time converter
    and the table test read them from too."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "coating",
                        "data", "sample_relations.cmake")
    with open(path) as f:
        return {m.group(1): float(m.group(2))
                for m in re.finditer(r"^set\((SURF_\w+) ([^)\s]+)\)", f.read(), re.M)}


BOUNDS = relation_bounds()
SUM_BOUND = BOUNDS["SURF_SUM_BOUND"] + 1e-14  # plus the double rounding of the four-value sums
RELATION_BOUND = BOUNDS["SURF_AXIS_RELATION_BOUND"]
NORMAL_AXIS_BOUND = BOUNDS["SURF_NORMAL_AXIS_BOUND"] + 1e-9  # two-decimal angles in doubles
NUMBER = re.compile(r"^-?(0|[1-9][0-9]*)(\.[0-9]+)?(e-[0-9]{2})?$")

# Anchor samples, columns rs .. tExtra, exactly as each variant must hold them.
ANCHORS = {
    "A": {
        ("0.40", 0, 0): "0.890069,0.0775963,0.0775963,0.890069,0,90,0.000379364,0.804123,"
                        "0.804123,0.000379364,0,0",
        ("0.40", 0, 45): "0.483832,0.483832,0.077595,0.890069,45,90,0.402251,0.402251,"
                         "0.804123,0.000379364,45,0",
        ("0.40", 0, 90): "0.0775963,0.890069,0.0775963,0.890069,90,90,0.804123,0.000379364,"
                         "0.804123,0.000379364,90,0",
        ("0.55", 45, 45): "0.598621,0.300069,0.0277509,0.870939,34.63,90,0.24703,0.456623,"
                          "0.700601,0.00305191,36.26,0",
        ("0.40", 89, 45): "0.984233,0.868304,0.868269,0.984268,1,90,0.00701445,0.08354,"
                          "0.0839312,0.00662329,4.08,148.82",
        ("0.70", 89, 90): "0.927686,0.896822,0.896822,0.927686,0.04,90,0.0585635,3.36044e-05,"
                          "0.0585635,3.36044e-05,90,0",
    },
    "B": {
        ("0.40", 0, 0): "0.892444,0.0991443,0.0991443,0.892444,0,90,0.000224172,0.763878,"
                        "0.763878,0.000224172,0,0",
        ("0.55", 45, 45): "0.600313,0.296198,0.0199373,0.876574,34.6,90,0.284707,0.524835,"
                          "0.805998,0.00354444,36.29,0",
        ("0.70", 89, 90): "0.926358,0.886832,0.886832,0.926358,0,90,0.0567478,2.08283e-05,"
                          "0.0567478,2.08283e-05,90,0",
    },
}

# Figures that describe each variant.
FIGURES = {
    "A": {"rExtra distinct": 17, "rExtra min": 39.0, "rExtra max": 360.0,
          "tExtra max": 175.41, "rAxis min": -4.55, "tAxis max": 90.0,
          "ulp-off values": 0, "normal-incidence axis offsets": 4,
          "normal pass transmittance": (0.77, 0.83)},
    "B": {"rExtra values": {89.96, 90.0}, "tExtra max": 172.36, "rAxis min": -8.27,
          "tAxis max": 90.01, "ulp-off values": 24, "normal-incidence axis offsets": 7,
          "normal pass transmittance": (0.74, 0.84)},
}

# Median relative difference |B - A| / |A| per column: (low, high) bounds.
DIFFERENCE_BOUNDS = {
    "rEigen2": (0.0, 0.01),
    "ts": (0.01, 0.06), "tp": (0.01, 0.06), "tEigen1": (0.01, 0.06),
    "rEigen1": (0.15, 0.22), "tEigen2": (0.15, 0.22),
}


class Report:
    def __init__(self, name):
        self.name = name
        self.problems = []

    def add(self, line, rule, detail):
        where = "%s:%d" % (self.name, line) if line else self.name
        self.problems.append("%s: [%s] %s" % (where, rule, detail))


def canonical_angle(value):
    """Two-decimal text without trailing zeros or point, '0' for any zero."""
    text = "%.2f" % value
    if "." in text:
        text = text.rstrip("0")
        if text.endswith("."):
            text = text[:-1]
    if text in ("-0", "0"):
        return "0"
    return text


def value_form(text, value):
    """'exact' for the six-digit form, 'ulp' for a 17-digit value one ulp off it, None
    otherwise."""
    six = "%.6g" % value
    if text == six:
        return "exact"
    base = float(six)
    if text == repr(value) and value in (math.nextafter(base, math.inf),
                                         math.nextafter(base, -math.inf)):
        return "ulp"
    return None


def parse(text, report):
    """Rows of (line, wavelength text, incidence, azimuth, {column: value}, {column: text}).
    Layout problems are reported; malformed lines are skipped."""
    rows = []
    if "\r" in text:
        report.add(0, "layout", "carriage return found; lines must end with \\n")
    if not text.endswith("\n"):
        report.add(0, "layout", "file must end with a newline")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines or lines[0] != HEADER:
        report.add(1, "header", "line 1 must be exactly %r" % HEADER)
    body = lines[1:]
    if len(body) != SAMPLES:
        report.add(0, "layout", "%d sample lines, %d expected" % (len(body), SAMPLES))
    expected = [(w, i, a) for w in WAVELENGTH_TEXTS for i in INCIDENCES for a in AZIMUTHS]
    for n, line in enumerate(body):
        ln = n + 2
        fields = line.split(",")
        if len(fields) != 15:
            report.add(ln, "layout", "%d fields, 15 expected" % len(fields))
            continue
        want = expected[n] if n < len(expected) else None
        if want is None or fields[0] != want[0] or fields[1] != str(want[1]) \
                or fields[2] != str(want[2]):
            report.add(ln, "grid", "grid point %s out of place (expected %s)"
                       % (",".join(fields[:3]), want))
            continue
        values, texts, ok = {}, {}, True
        for name, t in zip(COLUMNS, fields[3:]):
            if not NUMBER.match(t):
                report.add(ln, "number", "%s: %r is not a plain decimal number" % (name, t))
                ok = False
                continue
            v = float(t)
            if not math.isfinite(v):
                report.add(ln, "number", "%s: %r is not finite" % (name, t))
                ok = False
                continue
            values[name], texts[name] = v, t
        if ok:
            rows.append((ln, want[0], want[1], want[2], values, texts))
    return rows


def relation_problems(v):
    """The relations between the columns of one sample (a dict of the twelve values) that the
    build-time converter refuses a table for, as (rule, detail) pairs; the normal-incidence
    axis rule is normal_axis_problem's."""
    problems = []
    if not v["rEigen1"] <= v["rEigen2"]:
        problems.append(("rEigen1 <= rEigen2", "%r > %r" % (v["rEigen1"], v["rEigen2"])))
    if not v["tEigen1"] >= v["tEigen2"]:
        problems.append(("tEigen1 >= tEigen2", "%r < %r" % (v["tEigen1"], v["tEigen2"])))
    if not v["rs"] + v["ts"] <= 1.0:
        problems.append(("rs + ts <= 1", "%r" % (v["rs"] + v["ts"])))
    if not v["rp"] + v["tp"] <= 1.0:
        problems.append(("rp + tp <= 1", "%r" % (v["rp"] + v["tp"])))
    d = abs((v["rs"] + v["rp"]) - (v["rEigen1"] + v["rEigen2"]))
    if not d <= SUM_BOUND:
        problems.append(("rs + rp = rEigen1 + rEigen2", "differ by %.10g" % d))
    d = abs((v["ts"] + v["tp"]) - (v["tEigen1"] + v["tEigen2"]))
    if not d <= SUM_BOUND:
        problems.append(("ts + tp = tEigen1 + tEigen2", "differ by %.10g" % d))
    for side, s, p, e1, e2, axis in (
            ("reflection", "rs", "rp", "rEigen1", "rEigen2", "rAxis"),
            ("transmission", "ts", "tp", "tEigen1", "tEigen2", "tAxis")):
        a = v[axis] * DEG_TO_RAD
        sin2 = math.sin(a) ** 2
        cos2 = math.cos(a) ** 2
        want_s = v[e1] * sin2 + v[e2] * cos2
        want_p = v[e1] * cos2 + v[e2] * sin2
        if not abs(v[s] - want_s) <= RELATION_BOUND:
            problems.append(("%s axis relation (%s)" % (side, s),
                             "%s = %r, eigen-values and axis give %r" % (s, v[s], want_s)))
        if not abs(v[p] - want_p) <= RELATION_BOUND:
            problems.append(("%s axis relation (%s)" % (side, p),
                             "%s = %r, eigen-values and axis give %r" % (p, v[p], want_p)))
    return problems


def normal_axis_problem(v, azimuth):
    """(rule, detail) when the axes of a 0 degree sample do not follow its azimuth, else None."""
    if abs(v["rAxis"] - azimuth) <= NORMAL_AXIS_BOUND and \
            abs(v["tAxis"] - azimuth) <= NORMAL_AXIS_BOUND:
        return None
    return ("normal-incidence axis", "rAxis %r, tAxis %r at azimuth %g"
            % (v["rAxis"], v["tAxis"], azimuth))


def check_samples(rows, report):
    """Every per-sample rule; returns the number of ulp-off values and of normal-incidence
    axis offsets."""
    ulps = 0
    offsets = 0
    for ln, _, inc, azi, v, t in rows:
        for name in VALUE_NAMES:
            form = value_form(t[name], v[name])
            if form is None:
                report.add(ln, "six digits", "%s: %r is neither a six-significant-digit value "
                           "nor one ulp off one" % (name, t[name]))
            elif form == "ulp":
                ulps += 1
            if not 0.0 <= v[name] <= 1.0:
                report.add(ln, "range", "%s = %r outside [0, 1]" % (name, v[name]))
        for name in ANGLE_NAMES:
            if t[name] != canonical_angle(v[name]):
                report.add(ln, "two decimals", "%s: %r is not a two-decimal angle in canonical "
                           "form (%r)" % (name, t[name], canonical_angle(v[name])))
        for rule, detail in relation_problems(v):
            report.add(ln, rule, detail)
        if inc == 0:
            dr = abs(v["rAxis"] - azi)
            dt = abs(v["tAxis"] - azi)
            problem = normal_axis_problem(v, azi)
            if problem:
                report.add(ln, *problem)
            elif dr or dt:
                offsets += 1
                if dr and dt:
                    report.add(ln, "normal-incidence axis", "both axes off the azimuth")
                elif max(dr, dt) < 0.01 - 1e-9:
                    report.add(ln, "normal-incidence axis", "offset below 0.01 deg")
    return ulps, offsets


def column(rows, name):
    return [r[4][name] for r in rows]


def check_figures(rows, variant, ulps, offsets, report):
    """The anchor samples and the figures that describe the variant."""
    fig = FIGURES[variant]
    by_key = {(r[1], r[2], r[3]): r for r in rows}
    for key, want in ANCHORS[variant].items():
        r = by_key.get(key)
        if r is None:
            report.add(0, "anchor", "sample %s missing" % (key,))
            continue
        have = ",".join(r[5][c] for c in COLUMNS)
        if have != want:
            report.add(r[0], "anchor", "sample %s is %s, must be %s" % (key, have, want))
    rextra = column(rows, "rExtra")
    distinct = set(rextra)
    if "rExtra distinct" in fig:
        if len(distinct) != fig["rExtra distinct"]:
            report.add(0, "rExtra", "%d distinct values, %d expected"
                       % (len(distinct), fig["rExtra distinct"]))
        if min(rextra) != fig["rExtra min"] or max(rextra) != fig["rExtra max"]:
            report.add(0, "rExtra", "range %r .. %r, expected %r .. %r"
                       % (min(rextra), max(rextra), fig["rExtra min"], fig["rExtra max"]))
    if "rExtra values" in fig and distinct != fig["rExtra values"]:
        report.add(0, "rExtra", "values %s, expected %s"
                   % (sorted(distinct), sorted(fig["rExtra values"])))
    if rextra.count(90.0) < 0.99 * len(rextra):
        report.add(0, "rExtra", "90 in only %d of %d samples" % (rextra.count(90.0), len(rextra)))
    textra = column(rows, "tExtra")
    if max(textra) != fig["tExtra max"] or min(textra) != 0.0:
        report.add(0, "tExtra", "range %r .. %r, expected 0 .. %r"
                   % (min(textra), max(textra), fig["tExtra max"]))
    if textra.count(0.0) < 0.95 * len(textra):
        report.add(0, "tExtra", "0 in only %d of %d samples" % (textra.count(0.0), len(textra)))
    if min(column(rows, "rAxis")) != fig["rAxis min"]:
        report.add(0, "rAxis", "minimum %r, expected %r"
                   % (min(column(rows, "rAxis")), fig["rAxis min"]))
    if max(column(rows, "tAxis")) != fig["tAxis max"]:
        report.add(0, "tAxis", "maximum %r, expected %r"
                   % (max(column(rows, "tAxis")), fig["tAxis max"]))
    if ulps != fig["ulp-off values"]:
        report.add(0, "ulp-off values", "%d, expected %d" % (ulps, fig["ulp-off values"]))
    if offsets != fig["normal-incidence axis offsets"]:
        report.add(0, "normal-incidence axis", "%d samples off the azimuth, expected %d"
                   % (offsets, fig["normal-incidence axis offsets"]))
    # Normal incidence: one polarization mostly reflected, the other mostly transmitted, the
    # roles exchanged between azimuth 0 and 90.
    low, high = fig["normal pass transmittance"]
    for ln, _, inc, azi, v, _ in rows:
        if inc != 0:
            continue
        if not 0.86 <= v["rEigen2"] <= 0.92:
            report.add(ln, "normal incidence", "rEigen2 %r not about 0.89" % v["rEigen2"])
        if not low <= v["tEigen1"] <= high:
            report.add(ln, "normal incidence", "tEigen1 %r outside %r .. %r"
                       % (v["tEigen1"], low, high))
        same = lambda x, y: abs(x - y) <= 1e-12
        if azi == 0 and not (same(v["rs"], v["rEigen2"]) and same(v["tp"], v["tEigen1"])):
            report.add(ln, "normal incidence", "at azimuth 0, s must be reflected, p passed")
        if azi == 90 and not (same(v["rp"], v["rEigen2"]) and same(v["ts"], v["tEigen1"])):
            report.add(ln, "normal incidence", "at azimuth 90, p must be reflected, s passed")
    # Towards grazing both polarizations are mostly reflected.
    for ln, _, inc, _, v, _ in rows:
        if inc == 89 and not min(v["rs"], v["rp"]) >= 0.85:
            report.add(ln, "grazing", "rs %r, rp %r: not both mostly reflected"
                       % (v["rs"], v["rp"]))


def median_differences(rows_a, rows_b):
    out = {}
    for name in VALUE_NAMES:
        d = sorted(abs(b[4][name] - a[4][name]) / abs(a[4][name])
                   for a, b in zip(rows_a, rows_b))
        n = len(d)
        out[name] = d[n // 2] if n % 2 else 0.5 * (d[n // 2 - 1] + d[n // 2])
    return out


def check_differences(rows_a, rows_b, report):
    if len(rows_a) != SAMPLES or len(rows_b) != SAMPLES:
        report.add(0, "A versus B", "both files must be complete to compare them")
        return
    med = median_differences(rows_a, rows_b)
    for name, (low, high) in DIFFERENCE_BOUNDS.items():
        if not low <= med[name] <= high:
            report.add(0, "A versus B", "median relative difference of %s is %.2f %%, "
                       "expected %.0f .. %.0f %%" % (name, 100 * med[name], 100 * low, 100 * high))


def variant_of(path, given):
    if given:
        return given
    base = os.path.basename(path)
    for v in ("A", "B"):
        if base == "dataset%s.csv" % v:
            return v
    return None


def check_text(text, name, variant=None):
    """All problems of one file's text (a list of strings) and its parsed rows."""
    report = Report(name)
    rows = parse(text, report)
    ulps, offsets = check_samples(rows, report)
    if variant and len(rows) == SAMPLES:
        check_figures(rows, variant, ulps, offsets, report)
    return report.problems, rows


def read_file(path):
    """The file's text; a file that cannot be read ends the run with a message naming it."""
    try:
        with open(path, newline="", encoding="utf-8-sig") as f:
            return f.read()
    except (OSError, UnicodeDecodeError) as e:
        sys.exit("%s: cannot read: %s" % (path, e))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("file")
    ap.add_argument("--dataset", choices=("A", "B"))
    ap.add_argument("--against", metavar="OTHER.csv",
                    help="the other variant's file, to check the differences between them")
    args = ap.parse_args(argv)
    problems = []
    variant = variant_of(args.file, args.dataset)
    found, rows = check_text(read_file(args.file), args.file, variant)
    problems += found
    if args.against:
        other_variant = {"A": "B", "B": "A"}.get(variant)
        found, other = check_text(read_file(args.against), args.against, other_variant)
        problems += found
        if variant is None:
            problems.append("%s: [A versus B] name the variant with --dataset" % args.file)
        else:
            rows_a, rows_b = (rows, other) if variant == "A" else (other, rows)
            report = Report(args.file)
            check_differences(rows_a, rows_b, report)
            problems += report.problems
    for p in problems:
        print(p)
    if problems:
        print("%d problem(s)" % len(problems), file=sys.stderr)
        return 1
    print("%s: all checks passed%s" % (args.file, " (variant %s)" % variant if variant else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
