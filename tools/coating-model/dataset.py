"""Builds the text of the two coating datasets from the model.

Steps, for each variant (A, B):

1. Evaluate the model (model.py, params.py) at every grid sample.
2. Derive the further values rExtra and tExtra from the uncorrected model.
3. Add smooth local correction fields that make the anchor samples come out exactly.
4. Apply the deliberate normal-incidence axis offsets.
5. Round: six significant digits for reflectances, transmittances and eigen-values, two
   decimals for angles; where the rounding of four values breaks a sum rule beyond the
   rounding bound, nudge one last digit.
6. Store the deliberate one-ulp values (variant B).

The result is a list of lines in the file format that coating/data/*.csv use.
"""

import math
from decimal import Decimal

import model
import params

WAVELENGTH_TEXTS = ["0.%02d" % (40 + i) for i in range(31)]
WAVELENGTHS = [float(t) for t in WAVELENGTH_TEXTS]
INCIDENCES = list(range(0, 90, 5)) + [89]
AZIMUTHS = list(range(0, 91, 5))

COLUMNS = ["rs", "rp", "rEigen1", "rEigen2", "rAxis", "rExtra",
           "ts", "tp", "tEigen1", "tEigen2", "tAxis", "tExtra"]
HEADER = "wavelength,incidence,azimuth," + ",".join(COLUMNS)
VALUE_COLUMNS = (0, 1, 2, 3, 6, 7, 8, 9)
ANGLE_COLUMNS = (4, 5, 10, 11)
# Position of each of the model's ten response columns (model.raw_sample) in a sample.
RESPONSE_COLUMNS = (0, 1, 2, 3, 4, 6, 7, 8, 9, 10)

SAMPLE_COUNT = len(WAVELENGTHS) * len(INCIDENCES) * len(AZIMUTHS)

# Anchor samples: values each variant must reproduce exactly, columns rs .. tExtra.
ANCHORS = {
    "A": [
        (("0.40", 0, 0), "0.890069 0.0775963 0.0775963 0.890069 0 90 "
                         "0.000379364 0.804123 0.804123 0.000379364 0 0"),
        (("0.40", 0, 45), "0.483832 0.483832 0.077595 0.890069 45 90 "
                          "0.402251 0.402251 0.804123 0.000379364 45 0"),
        (("0.40", 0, 90), "0.0775963 0.890069 0.0775963 0.890069 90 90 "
                          "0.804123 0.000379364 0.804123 0.000379364 90 0"),
        (("0.55", 45, 45), "0.598621 0.300069 0.0277509 0.870939 34.63 90 "
                           "0.24703 0.456623 0.700601 0.00305191 36.26 0"),
        (("0.40", 89, 45), "0.984233 0.868304 0.868269 0.984268 1 90 "
                           "0.00701445 0.08354 0.0839312 0.00662329 4.08 148.82"),
        (("0.70", 89, 90), "0.927686 0.896822 0.896822 0.927686 0.04 90 "
                           "0.0585635 3.36044e-05 0.0585635 3.36044e-05 90 0"),
    ],
    "B": [
        (("0.40", 0, 0), "0.892444 0.0991443 0.0991443 0.892444 0 90 "
                         "0.000224172 0.763878 0.763878 0.000224172 0 0"),
        (("0.55", 45, 45), "0.600313 0.296198 0.0199373 0.876574 34.6 90 "
                           "0.284707 0.524835 0.805998 0.00354444 36.29 0"),
        (("0.70", 89, 90), "0.926358 0.886832 0.886832 0.926358 0 90 "
                           "0.0567478 2.08283e-05 0.0567478 2.08283e-05 90 0"),
    ],
}

# Normal-incidence axis offsets: at 0 deg incidence the eigen-axes lie along the azimuth by
# symmetry, and the tables keep them there exactly except in these samples, where one of the
# two axis angles is stored off by the given amount (degrees).  The reflectances and
# transmittances of these samples are left as the exact axis gives them.
AXIS_OFFSETS = {
    "A": [(("0.45", 0, 30), "rAxis", 0.02), (("0.52", 0, 60), "tAxis", -0.03),
          (("0.61", 0, 15), "rAxis", 0.04), (("0.67", 0, 75), "tAxis", 0.01)],
    "B": [(("0.42", 0, 20), "rAxis", 0.03), (("0.47", 0, 90), "tAxis", 0.01),
          (("0.50", 0, 40), "tAxis", -0.02), (("0.56", 0, 65), "rAxis", -0.04),
          (("0.60", 0, 10), "tAxis", 0.02), (("0.64", 0, 85), "rAxis", 0.04),
          (("0.69", 0, 50), "tAxis", -0.01)],
}

# Values stored one unit in the last place above the double nearest their six-digit form, so
# that a reader must parse 17-digit numbers exactly: variant B's normal-incidence row at
# 0.70 um, tEigen1 in all 19 samples and rEigen2 in the first five.
ULP_UP = {
    "A": [],
    "B": [(("0.70", 0, phi), "tEigen1") for phi in AZIMUTHS]
         + [(("0.70", 0, phi), "rEigen2") for phi in (0, 5, 10, 15, 20)],
}

# Further-value targets that dataset.py turns into amplitudes.
PROFILE_TILT_MAX = {"A": 4.55, "B": 8.27}
PHASE_LAG_TO = {"A": 39.0, "B": 89.96}
PHASE_LEAD_TO = {"A": 360.0, "B": None}

# Radii (in grid steps along wavelength, incidence, azimuth) of the anchor correction fields.
CORRECTION_RADII = (6, 3, 4)
SUM_RULE_BOUND = 5.0000001e-7


def sample_index(iw, ii, ia):
    return (iw * len(INCIDENCES) + ii) * len(AZIMUTHS) + ia


def grid_position(key):
    """(iw, ii, ia) of a sample named (wavelength text, incidence, azimuth)."""
    return WAVELENGTH_TEXTS.index(key[0]), INCIDENCES.index(key[1]), AZIMUTHS.index(key[2])


def format_value(v):
    """Six significant digits, shortest form ('%.6g')."""
    return "%.6g" % v


def format_angle(v):
    """Two decimals, trailing zeros and a bare trailing point removed, never '-0'."""
    s = "%.2f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


def last_digit_unit(text):
    """One unit in the sixth significant digit of a six-digit decimal text."""
    d = Decimal(text)
    return Decimal(1).scaleb(d.adjusted() - 5)


def correction_weight(anchor_pos, pos, radii):
    w = 1.0
    for a, b, r in zip(anchor_pos, pos, radii):
        w *= model.bump((b - a) / r)
        if w == 0.0:
            break
    return w


def anchor_radii(pos):
    # Grazing anchors (89 deg) correct their own incidence row only, so that no correction
    # reaches across the label swaps between 85 and 89 deg.
    r_w, r_i, r_a = CORRECTION_RADII
    return (r_w, 1 if INCIDENCES[pos[1]] == 89 else r_i, r_a)


def solve_linear(matrix, rhs):
    n = len(rhs)
    m = [row[:] + [rhs[i]] for i, row in enumerate(matrix)]
    for i in range(n):
        piv = max(range(i, n), key=lambda r: abs(m[r][i]))
        m[i], m[piv] = m[piv], m[i]
        for r in range(i + 1, n):
            f = m[r][i] / m[i][i]
            for c in range(i, n + 1):
                m[r][c] -= f * m[i][c]
    x = [0.0] * n
    for i in reversed(range(n)):
        x[i] = (m[i][n] - sum(m[i][c] * x[c] for c in range(i + 1, n))) / m[i][i]
    return x


def variant_parameters(name):
    """The variant's parameters with the amplitudes that are fixed by targets filled in."""
    p = dict(params.VARIANTS[name])
    # The profile tilt is largest at its resonance wavelength (a grid point), 89 deg, 90 deg.
    p["tl_amp"] = PROFILE_TILT_MAX[name] / math.sin(89.0 * model.DEG) ** 2
    return p


class Build:
    """A dataset in the making: the model's raw values, the corrections and the final text."""

    def __init__(self, name):
        self.name = name
        self.p = variant_parameters(name)
        self.raw = []          # per sample: 12 floats (further values included)
        self.separation = []
        self.extinction = []
        self.corrected = []    # per sample: 12 floats after the anchor corrections
        self.texts = []        # per sample: 12 strings
        self.nudged = []       # (sample index, column) of last-digit nudges
        self.anchor_positions = [grid_position(k) for k, _ in ANCHORS[name]]
        self.anchor_texts = [v.split() for _, v in ANCHORS[name]]
        self.corrections = []  # per anchor: 12 correction amplitudes

    def positions(self):
        for iw in range(len(WAVELENGTHS)):
            for ii in range(len(INCIDENCES)):
                for ia in range(len(AZIMUTHS)):
                    yield iw, ii, ia

    def evaluate_model(self):
        for iw, ii, ia in self.positions():
            values, sep, ext = model.raw_sample(self.p, WAVELENGTHS[iw], INCIDENCES[ii],
                                                AZIMUTHS[ia])
            row = [0.0] * 12
            for j, v in zip(RESPONSE_COLUMNS, values):
                row[j] = v
            self.raw.append(row)
            self.separation.append(sep)
            self.extinction.append(ext)

    def set_further_values(self):
        p = self.p
        lag = [s for s in self.separation if s > 0.0]
        lead = [-s for s in self.separation if s < 0.0]
        p["rx_lag"] = (90.0 - PHASE_LAG_TO[self.name]) / model.bump(min(lag) / p["rx_lag_w"])
        if PHASE_LEAD_TO[self.name] is None:
            p["rx_lead"] = 0.0
        else:
            p["rx_lead"] = ((PHASE_LEAD_TO[self.name] - 90.0)
                            / model.bump(min(lead) / p["rx_lead_w"]))
        for k, (iw, ii, ia) in enumerate(self.positions()):
            self.raw[k][5] = model.reflection_phase(p, self.separation[k])
            self.raw[k][11] = model.transmission_retardance(p, WAVELENGTHS[iw], AZIMUTHS[ia],
                                                            self.extinction[k])

    def apply_corrections(self):
        anchors = self.anchor_positions
        radii = [anchor_radii(a) for a in anchors]
        matrix = [[correction_weight(anchors[l], anchors[k], radii[l])
                   for l in range(len(anchors))] for k in range(len(anchors))]
        amplitudes = [[0.0] * 12 for _ in anchors]
        for j in range(12):
            d = []
            for k, pos in enumerate(anchors):
                target = float(self.anchor_texts[k][j])
                have = self.raw[sample_index(*pos)][j]
                # Angles already within 1e-9 deg need no field (the axes at normal incidence).
                small = j in ANGLE_COLUMNS and abs(target - have) < 1e-9
                d.append(0.0 if small else target - have)
            if j in (5, 11):
                if any(d):
                    raise ValueError("further value %s of an anchor is not met by the model"
                                     % COLUMNS[j])
                continue
            for k, a in enumerate(solve_linear(matrix, d)):
                amplitudes[k][j] = a
        self.corrections = amplitudes
        for k, pos in enumerate(self.positions()):
            row = list(self.raw[k])
            for a, (anchor, r) in enumerate(zip(anchors, radii)):
                w = correction_weight(anchor, pos, r)
                if w:
                    for j in range(12):
                        row[j] += amplitudes[a][j] * w
            self.corrected.append(row)

    def format(self):
        offsets = {}
        for key, column, delta in AXIS_OFFSETS[self.name]:
            offsets[(sample_index(*grid_position(key)), COLUMNS.index(column))] = delta
        anchor_index = {sample_index(*pos): k for k, pos in enumerate(self.anchor_positions)}
        for k, row in enumerate(self.corrected):
            texts = []
            for j, v in enumerate(row):
                if j in ANGLE_COLUMNS:
                    texts.append(format_angle(v + offsets.get((k, j), 0.0)))
                else:
                    texts.append(format_value(v))
            if k in anchor_index:
                want = self.anchor_texts[anchor_index[k]]
                if texts != want:
                    raise ValueError("anchor %s: model and corrections give %s, want %s"
                                     % (self.anchor_positions[anchor_index[k]], texts, want))
            else:
                for group in ((0, 1, 2, 3), (6, 7, 8, 9)):
                    self.keep_sum_rule(k, texts, row, group)
            self.texts.append(texts)
        for key, column in ULP_UP[self.name]:
            k = sample_index(*grid_position(key))
            j = COLUMNS.index(column)
            self.texts[k][j] = repr(math.nextafter(float(self.texts[k][j]), math.inf))

    def keep_sum_rule(self, k, texts, row, group):
        """Nudge last digits when the six-digit rounding of the four values of a sum rule
        (s + p = eigen1 + eigen2) leaves a difference beyond the rounding bound: one unit at a
        time, on the coarsest of the four values, preferring one whose rounding error the
        nudge reduces and one not nudged yet."""
        first = (0, 1) if group[0] == 0 else (6, 7)
        touched = set()
        for attempt in range(4):
            diff = ((float(texts[group[0]]) + float(texts[group[1]]))
                    - (float(texts[group[2]]) + float(texts[group[3]])))
            if abs(diff) <= SUM_RULE_BOUND:
                return
            if attempt == 3:
                break
            best = None
            for j in group:
                unit = last_digit_unit(texts[j])
                # Lowering an s/p value, or raising an eigen-value, lowers the difference.
                step = -unit if (j in first) == (diff > 0) else unit
                toward_model = (row[j] - float(texts[j])) * float(step) > 0
                rank = (unit, toward_model, j not in touched)
                if best is None or rank > best[0]:
                    best = (rank, j, step)
            _, j, step = best
            texts[j] = format_value(float(Decimal(texts[j]) + step))
            touched.add(j)
            self.nudged.append((k, j))
        raise ValueError("sample %d: cannot meet the sum rule" % k)

    def lines(self):
        out = [HEADER]
        for (iw, ii, ia), texts in zip(self.positions(), self.texts):
            out.append(",".join([WAVELENGTH_TEXTS[iw], str(INCIDENCES[ii]), str(AZIMUTHS[ia])]
                                + texts))
        return out


def build(name):
    b = Build(name)
    b.evaluate_model()
    b.set_further_values()
    b.apply_corrections()
    b.format()
    return b


def file_text(name):
    return "\n".join(build(name).lines()) + "\n"
