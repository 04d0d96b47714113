#!/usr/bin/python3
# The figures the minor-planet tests check against, computed independently of
# the program: astropy's Earth and observatory site and a Kepler solution
# written here. Run by hand; prints the tests' expectations.
#   Ceres from its published elements, from the Earth's centre;
#   a made-up planet 0.05 AU outside the Earth's orbit at opposition, from the
#   Earth's centre and from the LCO site at Cerro Tololo.
import numpy as np
from astropy.time import Time
from astropy.coordinates import EarthLocation, get_body_barycentric
import astropy.units as u

deg = np.pi / 180
eps = 84381.448 / 3600 * deg  # the J2000 ecliptic's obliquity
LIGHT = 173.1446326846693     # AU per day


def helio_earth(time):
    return (get_body_barycentric('earth', time) - get_body_barycentric('sun', time)).xyz.to(u.au).value


def equator(v):
    return np.array([v[0], np.cos(eps) * v[1] - np.sin(eps) * v[2], np.sin(eps) * v[1] + np.cos(eps) * v[2]])


def ecliptic(el, time):
    """Heliocentric ecliptic J2000 position of elements (M0, w, node, i, e, n, a, epoch MJD TT)."""
    M0, w, node, inc, e, n, a, epoch = el
    M = (M0 + n * (time.tt.mjd - epoch)) * deg
    E = M
    for _ in range(50):
        E -= (E - e * np.sin(E) - M) / (1 - e * np.cos(E))
    x, y = a * (np.cos(E) - e), a * np.sqrt(1 - e * e) * np.sin(E)
    cw, sw, cn, sn, ci, si = (np.cos(w * deg), np.sin(w * deg), np.cos(node * deg), np.sin(node * deg),
                              np.cos(inc * deg), np.sin(inc * deg))
    P = np.array([cw * cn - sw * sn * ci, cw * sn + sw * cn * ci, sw * si])
    Q = np.array([-sw * cn - cw * sn * ci, -sw * sn + cw * cn * ci, cw * si])
    return x * P + y * Q


def seen(el, time, observer):
    body = equator(ecliptic(el, time))
    for _ in range(4):
        body = equator(ecliptic(el, time - np.linalg.norm(body - observer) / LIGHT * u.day))
    v = body - observer
    return np.degrees(np.arctan2(v[1], v[0])) % 360, np.degrees(np.arctan2(v[2], np.hypot(v[0], v[1]))), np.linalg.norm(v)


# Ceres, MPCORB epoch K2555 (2025-05-05 TT = MJD 60800)
ceres = (188.70269, 73.27343, 80.25221, 10.58780, 0.0794013, 0.21424651, 2.7660512, 60800)
print('Ceres at its epoch', ecliptic(ceres, Time(60800, format='mjd', scale='tt')))
t = Time('2025-08-20T03:00:00', scale='utc')
print('Ceres 2025-08-20T03:00 UTC: RA %.6f Dec %.6f distance %.6f' % seen(ceres, t, helio_earth(t)))

# the close one: its mean anomaly at epoch the Earth's ecliptic longitude then
epoch = Time(61000, format='mjd', scale='tt')
e_eq = helio_earth(epoch)
e_ecl = np.array([e_eq[0], np.cos(eps) * e_eq[1] + np.sin(eps) * e_eq[2], -np.sin(eps) * e_eq[1] + np.cos(eps) * e_eq[2]])
a = np.linalg.norm(e_ecl) + 0.05
close = (np.degrees(np.arctan2(e_ecl[1], e_ecl[0])) % 360, 0.0, 0.0, 0.0, 0.0001, 0.9856076686 / a ** 1.5, a, 61000)
print('close one: M0 %.6f a %.7f n %.8f e %.4f' % (close[0], close[6], close[5], close[4]))
t = Time(61000.3, format='mjd', scale='tt')
site = EarthLocation.from_geocentric(1815196.768, -5213898.987, -3187566.098, unit=u.m)
print('close one from the centre: RA %.6f Dec %.6f distance %.6f' % seen(close, t, helio_earth(t)))
print('close one from the site:   RA %.6f Dec %.6f distance %.6f' %
      seen(close, t, helio_earth(t) + site.get_gcrs_posvel(t)[0].xyz.to(u.au).value))
