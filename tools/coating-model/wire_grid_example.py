#!/usr/bin/env python3
"""An example of the data tools/surf-coating imports: a lossy wire-grid polarizer, computed as
Jones matrices in the beam's s/p basis on a coarse grid of its own (the README's "Your own
coating" uses it; the surf-coating tests use it too, as an ideal polarizer on a coarser grid).

    python3 tools/coating-model/wire_grid_example.py my-coating.csv

The wires lie in the surface along its y-axis, the azimuth counted from x, across them; in the
beam's s/p basis they lie at model.wire_angle(incidence, azimuth) from s, for the reflected beam
in the mirror image of the incident basis. Light polarized along them is reflected (ALONG) and
leaks through (LEAK); light across them is transmitted (ACROSS) and reflected a little (LEAK).
The reflected wave across the wires lags the one along them by 180 degrees plus
EXTRA_RETARDANCE * sin(incidence), a retardance the table cannot hold. The values do not depend
on the wavelength. Writes a new file only: an existing one is kept.
"""

import cmath
import importlib.machinery
import importlib.util
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from model import wire_angle  # noqa: E402

ALONG, ACROSS, LEAK = 0.9, 0.85, 0.002
EXTRA_RETARDANCE = 8.0  # degrees at grazing incidence
WAVELENGTHS = (0.38, 0.465, 0.55, 0.635, 0.72)
INCIDENCES = (0, 10, 20, 30, 40, 50, 60, 70, 80, 89)
AZIMUTHS = (0, 15, 30, 45, 60, 75, 90)


def surf_coating():
    """tools/surf-coating as a module (its column names)."""
    path = os.path.join(HERE, "..", "surf-coating")
    loader = importlib.machinery.SourceFileLoader("surf_coating", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def jones(incidence, azimuth, along=ALONG, across=ACROSS, leak=LEAK, extra=EXTRA_RETARDANCE):
    """The reflection and transmission Jones matrices [[ss, sp], [ps, pp]] at one point, in the
    incident s/p basis and, for reflection, its mirror image through the surface. along, across
    and leak are intensities; extra the reflection's retardance beyond 180 deg at grazing."""
    g = math.radians(wire_angle(incidence, azimuth))
    u, v = (math.cos(g), math.sin(g)), (-math.sin(g), math.cos(g))  # along and across the wires
    lag = cmath.exp(1j * math.radians(extra * math.sin(math.radians(incidence))))
    r_along, r_across = -math.sqrt(along), math.sqrt(leak) * lag
    t_along, t_across = math.sqrt(leak), math.sqrt(across)
    return ([[r_along * u[r] * u[c] + r_across * v[r] * v[c] for c in range(2)] for r in range(2)],
            [[t_along * u[r] * u[c] + t_across * v[r] * v[c] for c in range(2)] for r in range(2)])


def data_text(wavelengths=WAVELENGTHS, incidences=INCIDENCES, azimuths=AZIMUTHS, **coating):
    """The data file: surf-coating's Jones columns, one point a line, for `coating` (the keyword
    arguments of jones) on the given grid."""
    lines = ["wavelength,incidence,azimuth," + ",".join(surf_coating().JONES_NAMES)]
    for w in wavelengths:
        for i in incidences:
            for a in azimuths:
                numbers = []
                for j in jones(i, a, **coating):
                    for element in (j[0][0], j[0][1], j[1][0], j[1][1]):
                        numbers += [repr(element.real + 0.0), repr(element.imag + 0.0)]
                lines.append("%r,%d,%d,%s" % (w, i, a, ",".join(numbers)))
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) != 1 or argv[0].startswith("-"):
        sys.stderr.write("usage: wire_grid_example.py DATA.csv\n")
        return 2
    try:
        with open(argv[0], "x") as f:
            f.write(data_text())
    except FileExistsError:
        sys.stderr.write("wire_grid_example.py: %s: exists; not replaced\n" % argv[0])
        return 2
    except OSError as e:
        sys.stderr.write("wire_grid_example.py: %s: %s\n" % (argv[0], e.strerror or e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
