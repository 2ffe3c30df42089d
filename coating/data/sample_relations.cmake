# How closely every sample of a coating table keeps the relations between its columns. One
# place for the three bounds: the build-time converter (embed_table.cmake) refuses a table that
# breaks them, the table test (tests/table_test.cpp, through compile definitions) and
# tools/coating-model/check.py (which reads this file) check them again. Each bound is the exact
# decimal one; a check in double arithmetic adds the slack its own rounding needs.

# rs + rp = rEigen1 + rEigen2 and ts + tp = tEigen1 + tEigen2: the rounding of six-digit values.
set(SURF_SUM_BOUND 5e-7)
# rs = rEigen1 sin^2(rAxis) + rEigen2 cos^2(rAxis), rp = rEigen1 cos^2 + rEigen2 sin^2, and the
# same for ts, tp with tEigen1, tEigen2 and tAxis.
set(SURF_AXIS_RELATION_BOUND 0.003)
# At normal incidence rAxis and tAxis equal the sample's azimuth, in degrees.
set(SURF_NORMAL_AXIS_BOUND 0.04)
