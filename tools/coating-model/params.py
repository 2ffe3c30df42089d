"""Calibrated parameters of the two process variants of the coating.

Variant A is the reference process; variant B differs in the wire height (hv*), the fill of
the gaps between the wires (cy_*, rt*: across-wire index and wire-top reflection), the film
skew (sk0), the wire absorption (ab*), the leakage along the wires (lk0, lks, lkc, lkp) and
the transmitted-axis lead (tk*); A alone has the sidewall absorption band (bd_*) and the two
differ in the wavelength and strength of the profile tilt (tl_*).  Units: wavelengths and
thicknesses in micrometres, angles in degrees, everything else dimensionless.
See README.md for the meaning of each symbol and calibrate.py for how the fitted ones were
obtained.  The further-value amplitudes marked "set by dataset.py" are derived there from the
model itself.
"""

COMMON = {
    # along-wire effective index N = (nm0 + nm1 x) + i (km0 + km1 x), x = (lam - 0.55) / 0.15
    "nm0": 1.53619,
    "nm1": -0.27313,
    "km0": 7.03266,
    "km1": -0.579339,
    # along-wire grazing loss (eg*) and mid-angle loss of its p-like share (gp0)
    "eg0": 0.0171126,
    "eg1": 0.00336797,
    "gp0": 0.101941,
    # sidewall (normal-field) absorption of the pass polarization's p-like share
    "az0": 0.0308494,
    "az1": -1.77296,
    # overcoat: thickness (um) and interference depth
    "film_d": 0.12,
    "film_m": 0.05,
    # spectral slope and grazing floor of the leakage along the wires
    "lk1": -0.4246,
    "lkq": 0.191881,
    # profile tilt: resonance width
    "tl_wid": 0.03,
    # further values: rExtra windows in the signed separation, tExtra gate and azimuth term
    "tx_r0": 0.05,
    "tx_r1": 0.075,
    "tx_az": 175.41 / 148.82 - 1.0,
}

VARIANT_A = dict(COMMON, **{
    "hv0": 0.0,
    "hv1": 0.0,
    "hv2": 0.0,
    "cy_a": 1.3814,
    "cy_b": -0.00676948,
    "cy_c": -0.000533649,
    "rt0": 0.0587509,
    "rt_l": 0.10,
    "sk0": 0.0221022,
    "tl_lam": 0.47,
    "tl_amp": 0.0,      # set by dataset.py: the largest tilt is 4.55 deg
    "ab0": 0.148631,
    "ab1": 0.019434,
    "ab2": 0.000796736,
    "bd_m": 0.163503,
    "bd_lam": 0.55,
    "bd_wid": 0.05,
    "lk0": -8.30161,
    "lks": 32.6167,
    "lkc": 0.980773,
    "lkp": 49.1129,
    "tk0": 1.99122,
    "tk1": -1.08987,
    "xr": -2.6288e-05,
    "xt": -4.88698e-05,
    "rx_lag": 0.0,      # set by dataset.py: the closest unswapped sample lags to 39 deg
    "rx_lag_w": 0.05,
    "rx_lead": 0.0,     # set by dataset.py: the closest swapped sample leads to 360 deg
    "rx_lead_w": 0.01685,
    "tx_ret": 148.82,
})

VARIANT_B = dict(COMMON, **{
    "hv0": 0.0026685,
    "hv1": 0.0272495,
    "hv2": -0.0410723,
    "cy_a": 1.38495,
    "cy_b": -0.0124392,
    "cy_c": -0.00144005,
    "rt0": 0.0867152,
    "rt_l": 0.04,
    "sk0": 0.0234466,
    "tl_lam": 0.50,
    "tl_amp": 0.0,      # set by dataset.py: the largest tilt is 8.27 deg
    "ab0": 0.133447,
    "ab1": 0.0304338,
    "ab2": 0.0546859,
    "bd_m": 0.0,
    "bd_lam": 0.55,
    "bd_wid": 0.05,
    "lk0": -8.8277,
    "lks": 53.1069,
    "lkc": 0.576398,
    "lkp": 82.3664,
    "tk0": 2.05122,
    "tk1": -1.08987,
    "xr": -4.82277e-05,
    "xt": 6.58062e-05,
    "rx_lag": 0.0,      # set by dataset.py: the closest unswapped sample lags to 89.96 deg
    "rx_lag_w": 0.002,
    "rx_lead": 0.0,     # B shows no lead
    "rx_lead_w": 0.015,
    "tx_ret": 172.36 / (175.41 / 148.82),
})

VARIANTS = {"A": VARIANT_A, "B": VARIANT_B}
