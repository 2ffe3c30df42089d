"""Tests of tools/surf-coating: round trips through Mueller and Jones data and through the plug-in
itself, a coating computed here from first principles built into a plug-in, and bad input.

CTest runs each class with the paths it needs in the environment: SURF_SOURCE_DIR always;
SURF_PROBE and SURF_DATASET_FILE (the probe round trip); CMAKE_COMMAND and SURF_WORK_DIR (the
build of a coating of one's own).
"""

import csv
import io
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import unittest.mock

SOURCE = os.environ.get("SURF_SOURCE_DIR",
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOL = os.path.join(SOURCE, "tools", "surf-coating")
DATA = os.path.join(SOURCE, "coating", "data")
HIT_HEADER = "wavelength,rayX,rayY,rayZ,referenceX,referenceY,referenceZ,normalX,normalY,normalZ"
CARRIED = "rExtra,tExtra,rEigen1,rEigen2,rAxis,tEigen1,tEigen2,tAxis"

sys.path.insert(0, os.path.join(SOURCE, "tools", "coating-model"))
import wire_grid_example  # noqa: E402  (the README's example coating, and the tool's names)
from wire_grid_example import wire_angle  # noqa: E402

SURF_COATING = wire_grid_example.surf_coating()


def run(*args, cwd=None):
    return subprocess.run([sys.executable, TOOL] + list(args), cwd=cwd, capture_output=True,
                          text=True)


def read(path):
    with open(path, newline="") as f:
        return f.read()


def rows_of(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def ray(incidence, azimuth, up=False):
    """The direction of a ray on a +z normal, travelling down (against the normal) or up."""
    t, a = math.radians(incidence), math.radians(azimuth)
    return (math.sin(t) * math.cos(a), math.sin(t) * math.sin(a), (1 if up else -1) * math.cos(t))


def write_hits(path, hits, passed=None):
    """A surf-probe batch file of hits on a +z normal: per hit the fields passed through (named
    by `passed`), the wavelength's text, the ray and the reference direction."""
    with open(path, "w") as f:
        f.write((passed + "," if passed else "") + HIT_HEADER + "\n")
        for fields, wavelength, direction, reference in hits:
            f.write(",".join(list(fields) + [wavelength] +
                             [repr(v) for v in direction + reference] + ["0,0,1"]) + "\n")


class Work(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="surf-coating-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def ok(self, *args):
        result = run(*args, cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout


class RoundTrips(Work):
    def test_export_then_import_gives_back_each_dataset_byte_for_byte(self):
        # The 24 one-ulp values of datasetB are all the matrices cannot carry: export writes
        # them, and only them, in the table's own columns.
        for dataset, form, carried in (("datasetA", "mueller", 0), ("datasetB", "jones", 24)):
            with self.subTest(dataset=dataset, form=form):
                table = os.path.join(DATA, dataset + ".csv")
                self.ok("export", table, "--to", form, "-o", "data.csv", "--force")
                filled = sum(1 for r in rows_of(self.path("data.csv"))
                             for n in CARRIED.split(",")[2:] if r[n])
                self.assertEqual(filled, carried)
                report = self.ok("import", "data.csv", "-o", "table.csv", "--force")
                self.assertEqual(read(self.path("table.csv")), read(table))
                self.assertIn("wrote table.csv: 11191 samples", report)


class ProbeRoundTrip(Work):
    """The plug-in's own s/p matrices on the grid, imported, give back its table: from hits in
    every quadrant, rays travelling down and up, any reference direction (seeded)."""

    def test_probe_on_grid_hits_gives_back_the_table(self):
        table = os.environ["SURF_DATASET_FILE"]
        self.ok("export", table, "--to", "mueller", "-o", "data.csv")
        data = rows_of(self.path("data.csv"))
        # A ray along the normal has no plane of incidence: the plug-in reads azimuth 0 for it,
        # so the 0-degree row comes from the export; every other sample from the plug-in. What
        # the plug-in does not output (rExtra, tExtra, one-ulp values) is passed through.
        pick = random.Random(16)
        hits = []
        for r in data:
            if r["incidence"] == "0":
                continue
            a = float(r["azimuth"])
            a = (a, 180.0 - a, 180.0 + a, 360.0 - a)[pick.randrange(4)]
            m = math.radians(pick.uniform(-180.0, 180.0))
            hits.append(([r[n] for n in CARRIED.split(",")], r["wavelength"],
                         ray(float(r["incidence"]), a, pick.random() < 0.5),
                         (math.cos(m), math.sin(m), pick.uniform(-0.5, 0.5))))
        write_hits(self.path("hits.csv"), hits, CARRIED)
        with open(self.path("normal.csv"), "w") as f:
            f.write(",".join(data[0].keys()) + "\n")
            for r in data:
                if r["incidence"] == "0":
                    f.write(",".join(r.values()) + "\n")
        probe = subprocess.run([os.environ["SURF_PROBE"], "batch", "hits.csv", "--frame", "sp",
                                "-o", "sp.csv"], cwd=self.dir, capture_output=True, text=True)
        self.assertEqual(probe.returncode, 0, probe.stderr)
        self.ok("import", "sp.csv", "normal.csv", "-o", "table.csv")
        self.assertEqual(read(self.path("table.csv")), read(table))


# --- a coating computed here: an ideal wire-grid polarizer ------------------------------------
# The README's example coating, made whole: light polarized along the wires reflected whole, at
# the same angle from s towards p' in the mirror-image reflected basis, light across them
# transmitted whole.
IDEAL_POLARIZER = {"along": 1.0, "across": 1.0, "leak": 0.0, "extra": 0.0}


class OwnCoating(Work):
    WAVELENGTHS = (0.40, 0.55, 0.70)
    INCIDENCES = (0, 15, 30, 45, 60, 75, 89)
    AZIMUTHS = (0, 30, 60, 90)

    def test_the_readme_example_runs_as_shown(self):
        # The README's first two commands of "Your own coating", run as written (tools/ from the
        # source tree), print what it shows.
        with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
            block = f.read().split("\n## Your own coating\n")[1].split("```\n")[1]
        for command in block.split("$ ")[1:3]:
            line, shown = command.split("\n", 1)
            argv = [sys.executable if word == "python3" else
                    os.path.join(SOURCE, word) if word.startswith("tools/") else word
                    for word in line.split()]
            result = subprocess.run(argv, cwd=self.dir, capture_output=True, text=True)
            self.assertEqual((result.returncode, result.stdout), (0, shown), line)

    def test_normal_incidence_data_a_right_angle_apart_stays_a_whole_polarizer(self):
        # At normal incidence one coating seen from two azimuths is one matrix turned by the
        # azimuth: data at 0 and 90 deg alone gives a whole polarizer along every azimuth between.
        # The wires lie 0.02 deg off (within the build's bound at normal incidence, where the
        # table takes the azimuth), so at azimuth 90 the axes lie at 90.02 deg: kept there, not
        # wrapped to -89.98 beside 85-odd degrees at the azimuth before.
        with unittest.mock.patch.object(wire_grid_example, "wire_angle",
                                        lambda i, a: wire_angle(i, a) + 0.02):
            text = wire_grid_example.data_text(self.WAVELENGTHS, self.INCIDENCES, (0, 90),
                                               **IDEAL_POLARIZER)
        with open(self.path("polarizer.csv"), "w") as f:
            f.write(text)
        self.ok("import", "polarizer.csv", "-o", "polarizer-table.csv")
        names = ("rEigen1", "rEigen2", "rAxis", "tEigen1", "tEigen2", "tAxis")
        for sample in rows_of(self.path("polarizer-table.csv")):
            a, i = float(sample["azimuth"]), float(sample["incidence"])
            if i == 0 and a in (20, 45, 70):
                values = [float(sample[n]) for n in names]
                self.assertEqual(values[:2] + values[3:5], [0, 1, 1, 0], sample)
                self.assertLessEqual(max(abs(values[2] - a), abs(values[5] - a)), 0.021, sample)
            elif i > 0 and a == 90:
                self.assertEqual([float(sample[n]) for n in names[2::3]], [90.02] * 2, sample)

    def test_a_polarizer_imports_builds_and_evaluates_as_computed(self):
        with open(self.path("polarizer.csv"), "w") as f:
            f.write(wire_grid_example.data_text(self.WAVELENGTHS, self.INCIDENCES, self.AZIMUTHS,
                                                **IDEAL_POLARIZER))
        report = self.ok("import", "polarizer.csv", "-o", "polarizer-table.csv")
        self.assertRegex(report, r"reflection retardance other than 180 deg \(deg\) +0 +\n")
        # Between the data's points (azimuths 30 deg apart) the resampling follows the wires as
        # they turn: still a whole polarizer, its axis near the wires (the data's points 30 deg
        # apart leave the axis's own curve between them to the blend).
        table = {(r["wavelength"], r["incidence"], r["azimuth"]): r
                 for r in rows_of(self.path("polarizer-table.csv"))}
        for w, i, a in (("0.55", 80, 5), ("0.62", 89, 10), ("0.66", 85, 25), ("0.43", 35, 45),
                        ("0.52", 20, 80)):
            sample = table[(w, str(i), str(a))]
            values = [float(sample[n]) for n in ("rEigen1", "rEigen2", "tEigen1", "tEigen2")]
            for value, whole in zip(values, (0.0, 1.0, 1.0, 0.0)):
                self.assertAlmostEqual(value, whole, delta=2e-6, msg=(w, i, a))
            for name in ("rAxis", "tAxis"):
                off = math.remainder(float(sample[name]) - wire_angle(i, a), 180.0)
                self.assertLess(abs(off), 2.0, (w, i, a, name))
        build = os.path.join(os.environ["SURF_WORK_DIR"], "own-coating-build")
        shutil.rmtree(build, True)
        self.addCleanup(shutil.rmtree, build, True)
        cmake = os.environ["CMAKE_COMMAND"]
        for command in ([cmake, "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                         "-DSURF_DATASET=" + self.path("polarizer-table.csv"),
                         "-DSURF_BUILD_TESTS=OFF", "-DSURF_BUILD_BENCH=OFF"],
                        [cmake, "--build", build, "--target", "surf", "-j2"]):
            result = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

        # Hits at the data's own points (away from the normal, where the plug-in reads no plane
        # of incidence), and between them.
        nodes = [(w, i, a) for w in self.WAVELENGTHS for i in self.INCIDENCES[1:]
                 for a in self.AZIMUTHS]
        between = [(0.52, 37.0, 52.0), (0.43, 70.0, 10.0), (0.66, 20.0, 80.0)]
        write_hits(self.path("hits.csv"),
                   [((), repr(w), ray(i, a), (1.0, 0.0, 0.0)) for w, i, a in nodes + between])
        probe = subprocess.run([os.environ["SURF_PROBE"], "--plugin",
                                os.path.join(build, "surf.so"), "batch", "hits.csv", "--frame",
                                "sp"], cwd=self.dir, capture_output=True, text=True)
        self.assertEqual(probe.returncode, 0, probe.stderr)
        hits = list(csv.DictReader(io.StringIO(probe.stdout)))
        for (w, i, a), hit in zip(nodes, hits):
            # Whole reflection along the wires, whole transmission across them: eigen-values to
            # the table's six digits (and a last digit moved to keep rs + ts <= 1), axes to its
            # two decimals.
            for beam, along in (("R", wire_angle(i, a)), ("T", wire_angle(i, a) + 90.0)):
                row = [float(hit["%s0%d" % (beam, j)]) for j in range(4)]
                strength = math.hypot(row[1], row[2])
                axis = math.degrees(0.5 * math.atan2(row[2], row[1]))
                at = "%s at %g um, %g deg, azimuth %g" % (beam, w, i, a)
                self.assertAlmostEqual(row[0] + strength, 1.0, delta=2e-6, msg=at)
                self.assertAlmostEqual(row[0] - strength, 0.0, delta=2e-6, msg=at)
                self.assertLess(abs(math.remainder(axis - along, 180.0)), 0.0051, at)
        for (w, i, a), hit in zip(between, hits[len(nodes):]):
            # Between the points the table blends: the pass axis still lies across the wires,
            # and no state leaves brighter than it came: the largest R00 + T00 + |R0. + T0.|.
            t = [float(hit["T%d%d" % (0, j)]) for j in range(4)]
            r = [float(hit["R%d%d" % (0, j)]) for j in range(4)]
            passed = math.degrees(0.5 * math.atan2(t[2], t[1]))
            across = wire_angle(i, a) + 90.0
            self.assertLess(abs(math.remainder(passed - across, 180.0)), 1.0, (w, i, a))
            total = [x + y for x, y in zip(r, t)]
            self.assertLessEqual(total[0] + math.hypot(*total[1:]), 1.0 + 2e-6, (w, i, a))


class BadInput(Work):
    """Refused with the file and line, exit status 2, nothing written."""

    HEADER = "wavelength,incidence,azimuth," + ",".join(SURF_COATING.MUELLER_NAMES)

    def grid_text(self, wavelengths=(0.4, 0.7), incidences=(0, 89), azimuths=(0, 90)):
        # A lossless, polarization-blind coating: half reflected, half transmitted.
        half = ",".join(["0.5", "0", "0", "0", "0", "0.5", "0", "0", "0", "0", "-0.5", "0",
                         "0", "0", "0", "-0.5"] + ["0.5"] + ["0"] * 4 + ["0.5"] + ["0"] * 4 +
                        ["0.5"] + ["0"] * 4 + ["0.5"])
        lines = [self.HEADER]
        for w in wavelengths:
            for i in incidences:
                for a in azimuths:
                    lines.append("%g,%g,%g,%s" % (w, i, a, half))
        return lines

    def test_refusals_name_file_and_line_and_write_nothing(self):
        good = self.grid_text()
        cases = [
            ("short row", good[:3] + [good[3].rsplit(",", 1)[0]] + good[4:],
             "data.csv:4: 34 fields, 35 expected"),
            ("not a number", good[:2] + [good[2].replace(",0.5,", ",0.5x,", 1)] + good[3:],
             "data.csv:3: column R00: '0.5x' is not a number"),
            ("grid short of the table", self.grid_text(incidences=(0, 80)),
             "incidences run 0 .. 80 deg and do not cover the table's 0 .. 89 deg"),
            ("duplicate point", good + [good[1]], "data.csv:10: point (0.4 um, 0 deg, azimuth 0 "
                                                  "deg) repeats data.csv:2"),
            ("missing point", good[:2] + good[3:], "no point at (0.4 um, 0 deg, azimuth 90 deg)"),
            ("header", ["wavelength,incidence,R00"] + good[1:], "data.csv:1: the header lacks"),
            ("underflow", good[:3] + [good[3].replace(",0.5,", ",1e-400,", 1)] + good[4:],
             "data.csv:4: column R00: '1e-400' is out of range"),
            ("carriage return", good[:3] + [good[3].replace(",", "\r,", 1)] + good[4:],
             "data.csv:4: a carriage return within the line"),
            ("commas only", good[:3] + ["," * 34] + good[3:], "data.csv:4: column wavelength: ''"),
            ("not UTF-8", good[:4] + ["0.4,\udcff"] + good[4:], "data.csv:5: not UTF-8 text"),
            ("long line", good[:2] + ["7" * (3 << 20)] + good[2:],
             "data.csv:3: line longer than 1048576 bytes"),
            ("axis across the azimuth",
             good[:1] + [good[1].replace(",0.5,0,", ",0.5,-0.4,", 1)] + good[2:],
             "data.csv:2: point (0.4 um, 0 deg, azimuth 0 deg): at normal incidence "
                         "rAxis lies 90.00 deg from the azimuth"),
            # The reflection's first row says s and p are reflected alike, rs says otherwise:
            # the build would refuse the axis relation.
            ("relation", [good[0].replace("azimuth,", "azimuth,rs,rp,ts,tp,")] +
             [line.replace(",0.5,", ",0.6,0.4,0.5,0.5,0.5,", 1) if n == 5 else
              line.replace(",0.5,", ",0.5,0.5,0.5,0.5,0.5,", 1)
              for n, line in enumerate(good[1:], start=2)],
             "data.csv:5: point (0.4 um, 89 deg, azimuth 90 deg): rs + ts <= 1 does not hold "
             "(1.1); reflection axis relation (rs) does not hold"),
        ]
        with open(self.path("table.csv"), "w") as f:
            f.write("precious\n")
        for name, lines, message in cases:
            with self.subTest(name):
                with open(self.path("data.csv"), "w", errors="surrogateescape") as f:
                    f.write("\n".join(lines) + "\n")
                for target in ("new.csv", "table.csv"):
                    result = run("import", "data.csv", "-o", target, "--force", cwd=self.dir)
                    self.assertEqual(result.returncode, 2, result.stderr)
                    self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.path("new.csv")))
                self.assertEqual(read(self.path("table.csv")), "precious\n")
                self.assertEqual(sorted(os.listdir(self.dir)), ["data.csv", "table.csv"])

    def test_a_good_grid_imports_and_an_existing_table_needs_force(self):
        # A diattenuation of 1e-7 at a normal-incidence point is noise, not an axis across the
        # azimuth.
        lines = self.grid_text()
        lines[2] = lines[2].replace(",0.5,0,", ",0.5,1e-7,", 1)
        with open(self.path("data.csv"), "w") as f:
            f.write("\n".join(lines) + "\n")
        # Without an axis to speak of no axis changes between neighbouring samples.
        self.assertNotIn("axis changes", self.ok("import", "data.csv", "-o", "table.csv"))
        data = read(self.path("data.csv"))
        for args, status, message in (
                (["-o", "table.csv"], 2, "table.csv: exists; give --force"),
                (["-o", "./data.csv", "--force"], 2, "./data.csv: is the input data.csv"),
                (["-o", ""], 2, "-o: an empty file name"),
                (["-o", "missing/table.csv"], 1, "missing/table.csv: cannot write: No such file"),
                (["-o", "new.csv", "--force"], 1, "cannot write the report to standard output")):
            with open(os.devnull if status == 2 else "/dev/full", "w") as out:
                result = subprocess.run([sys.executable, TOOL, "import", "data.csv"] + args,
                                        cwd=self.dir, stdout=out, stderr=subprocess.PIPE,
                                        text=True)
            self.assertEqual(result.returncode, status, args)
            self.assertIn(message, result.stderr)
        self.assertEqual(read(self.path("data.csv")), data)
        self.assertEqual(sorted(os.listdir(self.dir)), ["data.csv", "table.csv"])
        # --force keeps the replaced file's owner and permission bits, set-user-ID apart.
        os.chmod(self.path("table.csv"), 0o4640)
        owner = (65534, 65534) if os.geteuid() == 0 else (os.getuid(), os.getgid())
        os.chown(self.path("table.csv"), *owner)
        self.ok("import", "data.csv", "-o", "table.csv", "--force")
        kept = os.stat(self.path("table.csv"))
        self.assertEqual((kept.st_uid, kept.st_gid, kept.st_mode & 0o7777), owner + (0o640,))
        sample = rows_of(self.path("table.csv"))[0]
        self.assertEqual([sample[n] for n in ("rs", "rp", "rEigen1", "rEigen2", "rExtra", "ts",
                                             "tEigen1", "tAxis", "tExtra")],
                         ["0.5", "0.5", "0.5", "0.5", "180", "0.5", "0.5", "0", "0"])


if __name__ == "__main__":
    unittest.main()
