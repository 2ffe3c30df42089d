"""Tests of the coating model, the dataset builder, the checker and the generator.

    python3 -m unittest discover -s tools/coating-model -p 'test_*.py'
"""

import io
import math
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import check     # noqa: E402
import dataset   # noqa: E402
import generate  # noqa: E402
import model     # noqa: E402

_BUILDS = {}


def built(variant):
    if variant not in _BUILDS:
        _BUILDS[variant] = dataset.build(variant)
    return _BUILDS[variant]


def text(variant):
    return "\n".join(built(variant).lines()) + "\n"


def line_number(key):
    return dataset.sample_index(*dataset.grid_position(key)) + 2


def replace_field(src, line, column, new):
    lines = src.split("\n")
    fields = lines[line - 1].split(",")
    fields[3 + dataset.COLUMNS.index(column)] = new
    lines[line - 1] = ",".join(fields)
    return "\n".join(lines)


def field(src, line, column):
    return src.split("\n")[line - 1].split(",")[3 + dataset.COLUMNS.index(column)]


class ModelTest(unittest.TestCase):
    def test_wire_angle(self):
        for theta, phi, want in ((0, 0, 0.0), (0, 30, 30.0), (0, 90, 90.0), (45, 45, 35.26439),
                                 (89, 45, 0.99985), (60, 90, 90.0), (80, 0, 0.0)):
            with self.subTest(theta=theta, phi=phi):
                self.assertAlmostEqual(model.wire_angle(theta, phi), want, places=4)

    def test_normal_incidence_does_not_depend_on_azimuth(self):
        p = dataset.variant_parameters("A")
        ref = model.raw_sample(p, 0.55, 0, 0)[0]
        for phi in (5, 30, 45, 80, 90):
            values = model.raw_sample(p, 0.55, 0, phi)[0]
            with self.subTest(phi=phi):
                for j in (2, 3, 7, 8):            # eigen-values
                    self.assertAlmostEqual(values[j], ref[j], places=14)
                self.assertAlmostEqual(values[4], phi, places=9)   # rAxis
                self.assertAlmostEqual(values[9], phi, places=9)   # tAxis

    def test_label_swap_at_the_conical_mount(self):
        # Between 85 and 89 deg at 0.70 um the across-wire reflectance overtakes: rAxis jumps
        # from about 90 to about 0 while rEigen1 stays the smaller eigen-value.
        p = dataset.variant_parameters("A")
        before = model.reflection(p, 0.70, 85, 90)
        after = model.reflection(p, 0.70, 89, 90)
        self.assertGreater(before[2], 89.0)
        self.assertLess(abs(after[2]), 0.01)
        self.assertGreater(before[3], 0.0)
        self.assertLess(after[3], 0.0)
        for e1, e2, _, _ in (before, after):
            self.assertLessEqual(e1, e2)

    def test_profile_tilt_sets_the_most_negative_axis(self):
        for variant, lam, want in (("A", 0.47, -4.55), ("B", 0.50, -8.27)):
            p = dataset.variant_parameters(variant)
            with self.subTest(variant=variant):
                self.assertEqual(dataset.format_angle(model.reflection(p, lam, 89, 90)[2]),
                                 "%g" % want)

    def test_energy_is_conserved_along_the_principal_axes(self):
        for variant in ("A", "B"):
            p = dataset.variant_parameters(variant)
            for lam in (0.40, 0.55, 0.70):
                for theta in (0, 45, 80, 89):
                    for phi in (0, 45, 90):
                        v = model.raw_sample(p, lam, theta, phi)[0]
                        with self.subTest(variant=variant, lam=lam, theta=theta, phi=phi):
                            self.assertLess(v[0] + v[5], 1.0)
                            self.assertLess(v[1] + v[6], 1.0)

    def test_bump_and_smoothstep(self):
        for u, want in ((0.0, 1.0), (0.5, 0.421875), (-0.5, 0.421875), (1.0, 0.0), (2.0, 0.0)):
            self.assertAlmostEqual(model.bump(u), want)
        for x, want in ((0.0, 0.0), (0.05, 0.0), (0.0625, 0.5), (0.075, 1.0), (0.2, 1.0)):
            self.assertAlmostEqual(model.smoothstep(0.05, 0.075, x), want)


class FormattingTest(unittest.TestCase):
    def test_angles(self):
        for v, want in ((0.0, "0"), (-0.001, "0"), (-0.0, "0"), (34.63, "34.63"),
                        (34.630001, "34.63"), (90.0, "90"), (1.0, "1"), (-4.55, "-4.55"),
                        (4.08, "4.08"), (0.04, "0.04"), (359.9951, "360"), (36.2, "36.2")):
            with self.subTest(v=v):
                self.assertEqual(dataset.format_angle(v), want)
                self.assertEqual(check.canonical_angle(v), want)

    def test_values(self):
        for v, want in ((0.8900690000001, "0.890069"), (0.0775963, "0.0775963"),
                        (3.36044e-05, "3.36044e-05"), (0.08354, "0.08354")):
            with self.subTest(v=v):
                self.assertEqual(dataset.format_value(v), want)

    def test_last_digit_unit(self):
        for t, want in (("0.890069", "0.000001"), ("0.0775963", "1E-7"),
                        ("3.36044e-05", "1E-10"), ("0.1", "0.000001")):
            self.assertEqual(float(dataset.last_digit_unit(t)), float(want))

    def test_value_forms(self):
        base = float("0.765403")
        for t, v, want in (("0.765403", base, "exact"),
                           (repr(math.nextafter(base, 1.0)), math.nextafter(base, 1.0), "ulp"),
                           (repr(math.nextafter(base, 0.0)), math.nextafter(base, 0.0), "ulp"),
                           ("0.7654030", base, None),
                           ("0.7654031", 0.7654031, None)):
            with self.subTest(t=t):
                self.assertEqual(check.value_form(t, v), want)
        two = math.nextafter(math.nextafter(base, 1.0), 1.0)
        self.assertIsNone(check.value_form(repr(two), two))


class SumRuleTest(unittest.TestCase):
    def test_nudge_restores_the_rule_with_one_last_digit(self):
        b = dataset.Build("A")
        # Rounded values whose sums differ by 1.1e-6: rs + rp = 0.9676673, eigen sum 0.9676662.
        texts = ["0.890070", "0.0775973", "0.0775963", "0.890070"] + ["0"] * 8
        texts[0] = "0.890071"
        raw = [0.8900705, 0.0775968, 0.0775963, 0.8900699] + [0.0] * 8
        before = list(texts)
        b.keep_sum_rule(0, texts, raw, (0, 1, 2, 3))
        diff = (float(texts[0]) + float(texts[1])) - (float(texts[2]) + float(texts[3]))
        self.assertLessEqual(abs(diff), dataset.SUM_RULE_BOUND)
        changed = [j for j in range(4) if texts[j] != before[j]]
        self.assertGreaterEqual(len(changed), 1)
        for j in changed:
            step = abs(float(texts[j]) - float(before[j]))
            self.assertAlmostEqual(step, float(dataset.last_digit_unit(before[j])), places=12)

    def test_no_nudge_when_the_rule_holds(self):
        b = dataset.Build("A")
        texts = ["0.890069", "0.0775963", "0.0775963", "0.890069"] + ["0"] * 8
        b.keep_sum_rule(0, texts, [0.0] * 12, (0, 1, 2, 3))
        self.assertEqual(texts[:4], ["0.890069", "0.0775963", "0.0775963", "0.890069"])
        self.assertEqual(b.nudged, [])


class BuildTest(unittest.TestCase):
    def test_both_variants_pass_every_check(self):
        for variant in ("A", "B"):
            problems, rows = check.check_text(text(variant), "dataset%s.csv" % variant,
                                              variant)
            with self.subTest(variant=variant):
                self.assertEqual(problems, [])
                self.assertEqual(len(rows), check.SAMPLES)

    def test_differences_between_variants(self):
        _, rows_a = check.check_text(text("A"), "a", "A")
        _, rows_b = check.check_text(text("B"), "b", "B")
        report = check.Report("pair")
        check.check_differences(rows_a, rows_b, report)
        self.assertEqual(report.problems, [])

    def test_building_twice_gives_the_same_bytes(self):
        self.assertEqual(dataset.file_text("B"), text("B"))

    def test_anchors_exact_and_fields_local(self):
        for variant in ("A", "B"):
            b = built(variant)
            lines = b.lines()
            for key, want in dataset.ANCHORS[variant]:
                got = lines[line_number(key) - 1].split(",")[3:]
                with self.subTest(variant=variant, key=key):
                    self.assertEqual(got, want.split())
            radii = [dataset.anchor_radii(a) for a in b.anchor_positions]
            for k, pos in enumerate(b.positions()):
                inside = any(all(abs(p - a) < r for p, a, r in zip(pos, anchor, rr))
                             for anchor, rr in zip(b.anchor_positions, radii))
                if not inside:
                    self.assertEqual(b.corrected[k], b.raw[k], "field leaks to %s" % (pos,))

    def test_grazing_fields_stay_in_their_row(self):
        b = built("A")
        for k, (iw, ii, ia) in enumerate(b.positions()):
            if dataset.INCIDENCES[ii] == 85 and dataset.AZIMUTHS[ia] >= 70 and iw >= 25:
                self.assertEqual(b.corrected[k], b.raw[k])

    def test_deliberate_offsets_and_ulps(self):
        for variant in ("A", "B"):
            src = text(variant)
            for key, column, delta in dataset.AXIS_OFFSETS[variant]:
                got = float(field(src, line_number(key), column))
                with self.subTest(variant=variant, key=key):
                    self.assertAlmostEqual(got - key[2], delta, places=9)
            for key, column in dataset.ULP_UP[variant]:
                t = field(src, line_number(key), column)
                v = float(t)
                with self.subTest(variant=variant, key=key, column=column):
                    self.assertEqual(v, math.nextafter(float("%.6g" % v), math.inf))


# Each fault, put into a correct file, must be reported on its line under its rule.
SAMPLE_FAULTS = [
    # (description, key, column, new text or callable(old text), rule)
    ("rEigen1 above rEigen2", ("0.50", 30, 40), "rEigen1", "0.95", "rEigen1 <= rEigen2"),
    ("tEigen2 above tEigen1", ("0.50", 30, 40), "tEigen2", "0.9", "tEigen1 >= tEigen2"),
    ("rs + ts above 1", ("0.45", 0, 0), "ts", "0.2", "rs + ts <= 1"),
    ("rp + tp above 1", ("0.45", 0, 90), "tp", "0.2", "rp + tp <= 1"),
    ("reflection sum off by 2e-6", ("0.60", 20, 30), "rs",
     lambda t: "%.6g" % (float(t) + 2e-6), "rs + rp = rEigen1 + rEigen2"),
    ("transmission sum off by 2e-6", ("0.60", 20, 30), "tp",
     lambda t: "%.6g" % (float(t) + 2e-6), "ts + tp = tEigen1 + tEigen2"),
    ("reflection axis turned", ("0.60", 40, 30), "rAxis",
     lambda t: "%g" % (float(t) + 5), "reflection axis relation"),
    ("transmission axis turned", ("0.60", 40, 30), "tAxis",
     lambda t: "%g" % (float(t) - 5), "transmission axis relation"),
    ("normal-incidence axis 0.05 off", ("0.50", 0, 30), "rAxis", "30.05", "normal-incidence axis"),
    ("both normal-incidence axes off", ("0.50", 0, 30), "rAxis", "30.02", "normal-incidence axis"),
    ("seven digits", ("0.50", 30, 40), "rs", lambda t: t + "01", "six digits"),
    ("padded six digits", ("0.50", 30, 40), "rp", lambda t: t + "0", "six digits"),
    ("three decimals", ("0.50", 30, 40), "rAxis", lambda t: "%.3f" % float(t), "two decimals"),
    ("negative zero", ("0.50", 0, 0), "tAxis", "-0", "two decimals"),
    ("not a number", ("0.50", 30, 40), "ts", "nan", "number"),
    ("infinity", ("0.50", 30, 40), "ts", "inf", "number"),
    ("hexadecimal", ("0.50", 30, 40), "ts", "0x1p-1", "number"),
    ("space", ("0.50", 30, 40), "ts", lambda t: " " + t, "number"),
    ("above one", ("0.50", 30, 40), "rEigen2", "1.2", "range"),
    ("negative", ("0.50", 30, 40), "tEigen2", "-0.001", "range"),
]


class CheckerTest(unittest.TestCase):
    def test_sample_faults_are_reported_on_their_line(self):
        base = text("A")
        for desc, key, column, new, rule in SAMPLE_FAULTS:
            ln = line_number(key)
            old = field(base, ln, column)
            bad = replace_field(base, ln, column, new(old) if callable(new) else new)
            if desc == "both normal-incidence axes off":
                bad = replace_field(bad, ln, "tAxis", "30.02")
            problems, _ = check.check_text(bad, "f.csv")
            with self.subTest(desc):
                self.assertTrue(any(p.startswith("f.csv:%d: [%s" % (ln, rule)) for p in problems),
                                problems[:5])

    def test_layout_faults(self):
        base = text("A")
        lines = base.split("\n")
        swapped = list(lines)
        swapped[5], swapped[6] = swapped[6], swapped[5]
        cases = [
            ("header", "\n".join(["wavelength,incidence"] + lines[1:]), "f.csv:1: [header]"),
            ("crlf", base.replace("\n", "\r\n"), "[layout] carriage return"),
            ("no final newline", base[:-1], "[layout] file must end"),
            ("missing row", "\n".join(lines[:-2] + [""]), "[layout] 11190 sample lines"),
            ("rows out of order", "\n".join(swapped), "f.csv:6: [grid]"),
            ("short row", base.replace(lines[10], lines[10].rsplit(",", 1)[0]),
             "f.csv:11: [layout] 14 fields"),
            ("wavelength as 0.4", base.replace("\n0.40,0,5,", "\n0.4,0,5,"), "f.csv:3: [grid]"),
        ]
        for desc, bad, want in cases:
            problems, _ = check.check_text(bad, "f.csv")
            with self.subTest(desc):
                self.assertTrue(any(want in p for p in problems), problems[:5])

    def test_figure_faults(self):
        base = text("A")
        anchor = line_number(("0.55", 45, 45))
        cases = [
            ("anchor digit", replace_field(base, anchor, "rEigen2", "0.87094"), "[anchor]"),
            ("extra rExtra value", replace_field(base, line_number(("0.50", 30, 40)), "rExtra",
                                                 "90.5"), "[rExtra] 18 distinct"),
            ("tExtra maximum", replace_field(base, line_number(("0.40", 89, 0)), "tExtra",
                                             "175.4"), "[tExtra] range"),
            ("rAxis minimum", replace_field(base, line_number(("0.47", 89, 90)), "rAxis",
                                            "-4.5"), "[rAxis] minimum"),
            ("ulp in A", replace_field(base, line_number(("0.50", 30, 40)), "rs",
                                       lambda_ulp(field(base, line_number(("0.50", 30, 40)),
                                                        "rs"))), "[ulp-off values] 1"),
            ("offset count", replace_field(base, line_number(("0.45", 0, 30)), "rAxis", "30"),
             "[normal-incidence axis] 3 samples"),
        ]
        for desc, bad, want in cases:
            problems, _ = check.check_text(bad, "f.csv", "A")
            with self.subTest(desc):
                self.assertTrue(any(want in p for p in problems), problems[:5])

    def test_identical_variants_fail_the_difference_rule(self):
        _, rows = check.check_text(text("A"), "a", "A")
        report = check.Report("pair")
        check.check_differences(rows, rows, report)
        failed = {p.split("difference of ")[1].split(" ")[0] for p in report.problems}
        self.assertEqual(failed, {"ts", "tp", "tEigen1", "rEigen1", "tEigen2"})

    def test_command_line(self):
        with tempfile.TemporaryDirectory() as d:
            good = os.path.join(d, "datasetB.csv")
            with open(good, "w", newline="") as f:
                f.write(text("B"))
            bad = os.path.join(d, "other.csv")
            with open(bad, "w", newline="") as f:
                f.write(replace_field(text("B"), 7, "rEigen1", "0.99"))
            out = io.StringIO()
            with redirect_stdout(out), redirect_stderr(io.StringIO()):
                self.assertEqual(check.main([good]), 0)
                self.assertEqual(check.main([bad]), 1)
            self.assertIn("all checks passed (variant B)", out.getvalue())
            self.assertIn("other.csv:7: [rEigen1 <= rEigen2]", out.getvalue())


def lambda_ulp(t):
    return repr(math.nextafter(float(t), math.inf))


class GeneratorTest(unittest.TestCase):
    def run_main(self, *argv):
        out = io.StringIO()
        with redirect_stdout(out), redirect_stderr(out):
            code = generate.main(list(argv))
        return code, out.getvalue()

    def test_write_then_check_then_detect_a_change(self):
        with tempfile.TemporaryDirectory() as d:
            code, _ = self.run_main("--out", d)
            self.assertEqual(code, 0)
            self.assertEqual(sorted(os.listdir(d)), ["datasetA.csv", "datasetB.csv"])
            with open(os.path.join(d, "datasetA.csv"), newline="") as f:
                self.assertEqual(f.read(), text("A"))
            code, out = self.run_main("--out", d, "--check")
            self.assertEqual(code, 0, out)
            path = os.path.join(d, "datasetB.csv")
            with open(path, newline="") as f:
                lines = f.read().split("\n")
            lines[4000] = lines[4000].replace(",90,", ",90.01,", 1)
            with open(path, "w", newline="") as f:
                f.write("\n".join(lines))
            code, out = self.run_main("--out", d, "--check")
            self.assertEqual(code, 1)
            self.assertIn("datasetB.csv:4001: differs", out)
            self.assertIn("datasetA.csv: reproduced byte for byte", out)

    def test_check_reports_a_missing_file(self):
        with tempfile.TemporaryDirectory() as d:
            code, out = self.run_main("--out", d, "--check")
            self.assertEqual(code, 1)
            self.assertIn("cannot be read", out)
            self.assertEqual(os.listdir(d), [])

    def test_nothing_is_written_when_a_rule_fails(self):
        real = check.check_text

        def failing(src, name, variant=None):
            problems, rows = real(src, name, variant)
            return problems + ["%s:2: [test] injected" % name], rows

        with tempfile.TemporaryDirectory() as d:
            with mock.patch.object(check, "check_text", failing):
                code, out = self.run_main("--out", d)
            self.assertEqual(code, 2)
            self.assertIn("nothing written", out)
            self.assertEqual(os.listdir(d), [])

    def test_first_difference(self):
        for old, new, want in (("a\nb\n", "a\nb\n", None),
                               ("a\nb\n", "a\nc\n", (2, "b", "c")),
                               ("a\n", "a\nb\n", (2, "", "b")),
                               ("a\nb", "a\nb\n", (3, None, ""))):
            with self.subTest(old=old, new=new):
                self.assertEqual(generate.first_difference(old, new), want)

if __name__ == "__main__":
    unittest.main()
