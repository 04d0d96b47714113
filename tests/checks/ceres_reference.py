#!/usr/bin/python3
# The figures the minor-planet test checks against, computed independently:
# astropy's Earth (its own ephemeris, not ERFA's epv00 as we call it) and a
# Kepler solution written here. Run by hand; prints the test's expectations.
import numpy as np
from astropy.time import Time
from astropy.coordinates import get_body_barycentric, get_body_barycentric_posvel
import astropy.units as u

deg = np.pi / 180
M0, w, node, inc, e, n, a = 188.70269, 73.27343, 80.25221, 10.58780, 0.0794013, 0.21424651, 2.7660512
epoch = Time('2025-05-05T00:00:00', scale='tt')
eps = 84381.448 / 3600 * deg

def ecliptic(t):
    M = (M0 + n * (t.tt.mjd - epoch.mjd)) * deg
    E = M
    for _ in range(50):
        E -= (E - e * np.sin(E) - M) / (1 - e * np.cos(E))
    x, y = a * (np.cos(E) - e), a * np.sqrt(1 - e * e) * np.sin(E)
    cw, sw, cn, sn, ci, si = np.cos(w*deg), np.sin(w*deg), np.cos(node*deg), np.sin(node*deg), np.cos(inc*deg), np.sin(inc*deg)
    P = np.array([cw*cn - sw*sn*ci, cw*sn + sw*cn*ci, sw*si])
    Q = np.array([-sw*cn - cw*sn*ci, -sw*sn + cw*cn*ci, cw*si])
    return x * P + y * Q

def equator(v):
    return np.array([v[0], np.cos(eps)*v[1] - np.sin(eps)*v[2], np.sin(eps)*v[1] + np.cos(eps)*v[2]])

print('epoch position', ecliptic(epoch))
t = Time('2025-08-20T03:00:00', scale='utc')
earth = (get_body_barycentric('earth', t) - get_body_barycentric('sun', t)).xyz.to(u.au).value
body = equator(ecliptic(t))
for _ in range(4):
    tau = np.linalg.norm(body - earth) / 173.1446326846693
    body = equator(ecliptic(t - tau * u.day))
v = body - earth
ra = np.degrees(np.arctan2(v[1], v[0])) % 360
dec = np.degrees(np.arctan2(v[2], np.hypot(v[0], v[1])))
print('2025-08-20T03:00 UTC: RA %.6f Dec %.6f distance %.6f' % (ra, dec, np.linalg.norm(v)))
