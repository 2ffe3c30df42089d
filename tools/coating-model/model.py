"""Phenomenological optical model of the surf coating, a wire-grid reflective polarizer.

The model is a pure function of (wavelength, incidence, azimuth) and a parameter set from
params.py: no state, no noise, no randomness.  Angles given to and returned by the public
functions are in degrees; radians appear only around the trigonometric functions.

Frame.  The wires lie in the coating plane.  The azimuth phi is measured from the normal to the
wires, so at phi = 0 the beam's s direction runs along the wires and at phi = 90 the plane of
incidence contains them.  Seen in the beam's (s, p) frame the wire direction makes the angle

    gamma = atan2(sin(phi) cos(theta), cos(phi))                   (from s towards p)

that is about atan(tan(phi) cos(theta)): 35.26 deg at theta = phi = 45, 1.00 deg at theta = 89,
phi = 45.  README.md explains each term and how the parameters were calibrated.
"""

import cmath
import math

DEG = math.pi / 180.0

# Index of the protective overcoat (fused silica).
OVERCOAT_INDEX = 1.46


def fresnel(theta_rad, index):
    """Power reflectances (Rs, Rp) of a plane interface from air into a medium of the given
    (real or complex) refractive index."""
    c = math.cos(theta_rad)
    s = math.sin(theta_rad)
    n = complex(index)
    ct = cmath.sqrt(1.0 - (s / n) ** 2)
    rs = (c - n * ct) / (c + n * ct)
    rp = (n * c - ct) / (n * c + ct)
    return abs(rs) ** 2, abs(rp) ** 2


def bump(u):
    """Compactly supported smooth bump: 1 at u = 0, 0 for |u| >= 1, value and first two
    derivatives continuous everywhere."""
    if u <= -1.0 or u >= 1.0:
        return 0.0
    v = 1.0 - u * u
    return v * v * v


def smoothstep(edge0, edge1, x):
    """Step from 0 (x <= edge0) to 1 (x >= edge1) with continuous first and second derivative."""
    if x <= edge0:
        return 0.0
    if x >= edge1:
        return 1.0
    t = (x - edge0) / (edge1 - edge0)
    return t * t * t * (t * (6.0 * t - 15.0) + 10.0)


def wire_angle(theta_deg, phi_deg):
    """gamma: the wire direction seen in the beam's (s, p) frame, degrees in [0, 90]."""
    t = theta_deg * DEG
    f = phi_deg * DEG
    return math.atan2(math.sin(f) * math.cos(t), math.cos(f)) / DEG


def band_coordinate(lam):
    """Wavelength mapped onto [-1, 1] over the 0.40 .. 0.70 um band."""
    return (lam - 0.55) / 0.15


# --- the two principal channels of the grid -------------------------------------------------

def along_index(p, lam):
    """Effective complex index for the field along the wires (metal-like)."""
    x = band_coordinate(lam)
    return complex(p["nm0"] + p["nm1"] * x, p["km0"] + p["km1"] * x)


def across_index(p, lam):
    """Effective index for the field across the wires (three-term Cauchy form)."""
    u = 1.0 / (lam * lam)
    return p["cy_a"] + (p["cy_b"] + p["cy_c"] * u) * u


def top_reflectance(p, lam, theta_rad):
    """Reflection of the wire tops seen by the field across the wires: strong in the blue,
    where the pitch is a larger fraction of the wavelength, and fading towards grazing."""
    return p["rt0"] * math.exp(-(lam - 0.40) / p["rt_l"]) * math.cos(theta_rad) ** 2


def principal_reflectances(p, lam, theta_deg, gamma_deg):
    """(R_along, R_across): reflectances of the grid's two principal linear polarizations,
    the field along the projected wires and the field across them."""
    t = theta_deg * DEG
    g = gamma_deg * DEG
    cg2 = math.cos(g) ** 2
    sg2 = 1.0 - cg2
    x = band_coordinate(lam)
    st2 = math.sin(t) ** 2
    # Along the wires: the s-like share (cos^2 gamma) and the p-like share (sin^2 gamma) of
    # the field see the metal-like index; the p-like share has a mid-angle loss, both lose a
    # little towards grazing, and the wire height sets an overall factor.
    rs_m, rp_m = fresnel(t, along_index(p, lam))
    eff_s = 1.0 - (p["eg0"] + p["eg1"] * x) * st2 * st2
    eff_p = 1.0 - p["gp0"] * math.sin(2.0 * t) ** 2
    height = 1.0 + p["hv0"] + p["hv1"] * st2 + p["hv2"] * st2 * st2
    r_along = (cg2 * rs_m + sg2 * rp_m * eff_p) * eff_s * height
    # Across the wires: dielectric-like Fresnel reflection plus the wire tops.
    rs_d, rp_d = fresnel(t, across_index(p, lam))
    r_across = sg2 * rs_d + cg2 * rp_d + top_reflectance(p, lam, t)
    return r_along, r_across


def reflection(p, lam, theta_deg, phi_deg):
    """Reflection eigen-values (e1 <= e2), axis angle (degrees, angle of the e2 axis from s)
    and the signed separation (R_along - R_across) / (R_along + R_across) of the principal
    reflectances, negative once the field across the wires is the more strongly reflected
    (the labels have swapped, or are about to: the film skew moves the swap a little)."""
    gamma = wire_angle(theta_deg, phi_deg)
    r_along, r_across = principal_reflectances(p, lam, theta_deg, gamma)
    g = gamma * DEG
    cg = math.cos(g)
    sg = math.sin(g)
    # Intensity matrix of the reflection in the (s, p) frame.
    a = r_along * cg * cg + r_across * sg * sg
    b = r_along * sg * sg + r_across * cg * cg
    c = (r_along - r_across) * sg * cg
    # The film stack reflects s a little more strongly than p at oblique incidence: a
    # congruence with diag(sqrt(1 + k), sqrt(1 - k)), vanishing at normal and grazing incidence.
    k = p["sk0"] * math.sin(2.0 * theta_deg * DEG) ** 2
    a *= 1.0 + k
    b *= 1.0 - k
    c *= math.sqrt(1.0 - k * k)
    half = 0.5 * (a + b)
    rad = math.hypot(0.5 * (a - b), c)
    e2 = half + rad
    e1 = half - rad
    # Axis of the larger eigen-value.  Where the two principal reflectances cross, the larger
    # one changes from the along-wire to the across-wire polarization: the labels swap and the
    # axis jumps by 90 degrees.
    axis = 0.5 * math.atan2(2.0 * c, a - b) / DEG
    if axis < -45.0:
        axis += 180.0
    axis += profile_tilt(p, lam, theta_deg, phi_deg)
    return e1, e2, axis, (r_along - r_across) / (r_along + r_across)


def profile_tilt(p, lam, theta_deg, phi_deg):
    """Turn (degrees) of the reflection eigen-axes by the slightly asymmetric wire profile.  It
    needs oblique incidence near the conical mount (phi near 90, where the mirror symmetry
    that the profile breaks would otherwise fix the axes) and is resonant at tl_lam."""
    w = math.exp(-0.5 * ((lam - p["tl_lam"]) / p["tl_wid"]) ** 2)
    return -p["tl_amp"] * w * math.sin(theta_deg * DEG) ** 2 * math.sin(phi_deg * DEG) ** 16


def transmission(p, lam, theta_deg, phi_deg):
    """Transmission eigen-values (e1 >= e2) and axis angle (degrees, angle of the e1 axis from
    p)."""
    gamma = wire_angle(theta_deg, phi_deg)
    t = theta_deg * DEG
    g = gamma * DEG
    cg2 = math.cos(g) ** 2
    sg2 = 1.0 - cg2
    x = band_coordinate(lam)
    st2 = math.sin(t) ** 2
    # Pass axis: the field across the wires enters through the dielectric-like interface
    # (less what the wire tops reflect), is absorbed a little in the wires, and the p-like
    # share (cos^2 gamma) carries a normal field component that the wire sidewalls absorb
    # (strongest in the blue, and with a band of its own in variant A).
    n_across = across_index(p, lam)
    rs_d, rp_d = fresnel(t, n_across)
    top = top_reflectance(p, lam, t)
    cti = math.sqrt(1.0 - st2 / (n_across * n_across))
    eta_s = math.exp(-(p["ab0"] + p["ab1"] * x + p["ab2"] * x * x))
    eta_p = eta_s * math.exp(-p["az0"] * math.exp(p["az1"] * x) * st2 / cti)
    eta_p *= 1.0 - p["bd_m"] * math.sin(2.0 * t) ** 2 * math.exp(
        -0.5 * ((lam - p["bd_lam"]) / p["bd_wid"]) ** 2)
    # Interference in the protective overcoat.
    ctf = math.sqrt(1.0 - st2 / (OVERCOAT_INDEX * OVERCOAT_INDEX))
    half_phase = 2.0 * math.pi * OVERCOAT_INDEX * p["film_d"] * ctf / lam
    film = 1.0 - p["film_m"] * math.sin(half_phase) ** 2
    t_across = (sg2 * (1.0 - rs_d - top) * eta_s + cg2 * (1.0 - rp_d - top) * eta_p) * film
    # Leakage of the field along the wires: small at normal incidence and falling towards the
    # red; it grows with obliquity for the s-like share and fades towards grazing for the
    # p-like share, whose field then points mostly out of the coating plane.
    leak = math.exp(p["lk0"] + p["lk1"] * x)
    shape_s = 1.0 + p["lks"] * st2 / (st2 + p["lkc"])
    shape_p = (1.0 - st2) * (1.0 + p["lkp"] * st2) + p["lkq"] * st2
    t_along = leak * (cg2 * shape_s + sg2 * shape_p)
    # Axis of the pass polarization: the wire projection, led by a small skew that grows with
    # sin^2(theta) and vanishes at the mirror-symmetric azimuths 0 and 90.
    lead = (p["tk0"] + p["tk1"] * x) * st2 * math.sin(2.0 * phi_deg * DEG)
    return t_across, t_along, gamma + lead


def raw_sample(p, lam, theta_deg, phi_deg):
    """The model's ten response columns before rounding, in table order without the further
    values: rs, rp, rEigen1, rEigen2, rAxis, ts, tp, tEigen1, tEigen2, tAxis.  Also returns the
    signed separation of the principal reflectances (see reflection) and the transmitted
    extinction ratio tEigen2 / tEigen1, which drive the further values."""
    e1, e2, r_axis, separation = reflection(p, lam, theta_deg, phi_deg)
    t1, t2, t_axis = transmission(p, lam, theta_deg, phi_deg)
    # A linear diattenuator would give rs = e2 cos^2 + e1 sin^2 exactly.  At oblique incidence
    # off the symmetric azimuths the eigen-polarizations are slightly elliptical, and a beam
    # polarized along s or p sees the eigen-values mixed a little differently: a cross term
    # that moves reflectance (transmittance) between s and p, vanishing at normal and grazing
    # incidence and at azimuths 0 and 90.
    shape = (math.sin(2.0 * theta_deg * DEG) * math.sin(2.0 * phi_deg * DEG)) ** 2
    cross_r = p["xr"] * (e2 - e1) * shape
    cross_t = p["xt"] * (t1 - t2) * shape
    ca = math.cos(r_axis * DEG) ** 2
    rs = e2 * ca + e1 * (1.0 - ca) + cross_r
    rp = e1 * ca + e2 * (1.0 - ca) - cross_r
    cb = math.cos(t_axis * DEG) ** 2
    ts = t1 * (1.0 - cb) + t2 * cb + cross_t
    tp = t1 * cb + t2 * (1.0 - cb) - cross_t
    return [rs, rp, e1, e2, r_axis, ts, tp, t1, t2, t_axis], separation, t2 / t1


# --- further values --------------------------------------------------------------------------

def reflection_phase(p, separation):
    """rExtra: relative phase (degrees, in (0, 360]) of the two reflected eigen-waves.  The
    model holds it at quadrature (90) except where the two principal reflectances nearly
    meet, at the label swaps: on the unswapped side (separation > 0) it lags by up to rx_lag,
    past the crossing it leads by up to rx_lead."""
    if separation > 0.0:
        return 90.0 - p["rx_lag"] * bump(separation / p["rx_lag_w"])
    return 90.0 + p["rx_lead"] * bump(separation / p["rx_lead_w"])


def transmission_retardance(p, lam, phi_deg, extinction):
    """tExtra: retardance (degrees) between the transmitted eigen-waves.  It is only resolved
    where the weak wave carries a few per cent of the strong one (extinction ratio between
    tx_r0 and tx_r1 ramps it in); elsewhere the model reports 0."""
    gate = smoothstep(p["tx_r0"], p["tx_r1"], extinction)
    if gate == 0.0:
        return 0.0
    return p["tx_ret"] * (0.40 / lam) * (1.0 + p["tx_az"] * math.cos(2.0 * phi_deg * DEG)) * gate
