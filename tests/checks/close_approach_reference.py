#!/usr/bin/python3
# A made-up minor planet 0.05 AU outside the Earth's orbit, at opposition, seen
# from the LCO site at Cerro Tololo: the figures the site test checks against,
# from astropy's Earth and site (EarthLocation.get_gcrs_posvel) and a Kepler
# solution written here. Run by hand; prints the elements and the expectations.
import numpy as np
from astropy.time import Time
from astropy.coordinates import EarthLocation, get_body_barycentric
import astropy.units as u

deg = np.pi / 180
eps = 84381.448 / 3600 * deg
epoch = Time(61000, format='mjd', scale='tt')
t = Time(61000.3, format='mjd', scale='tt')

def helio_earth(time):
    return (get_body_barycentric('earth', time) - get_body_barycentric('sun', time)).xyz.to(u.au).value

e_eq = helio_earth(epoch)
e_ecl = np.array([e_eq[0], np.cos(eps) * e_eq[1] + np.sin(eps) * e_eq[2], -np.sin(eps) * e_eq[1] + np.cos(eps) * e_eq[2]])
a, ecc, inc, node, peri = np.linalg.norm(e_ecl) + 0.05, 0.0001, 0.0, 0.0, 0.0
M0 = np.degrees(np.arctan2(e_ecl[1], e_ecl[0])) % 360
n = 0.9856076686 / a ** 1.5
print('elements: M0 %.6f a %.7f n %.8f e %.4f' % (M0, a, n, ecc))

def ecliptic(time):
    M = (M0 + n * (time.tt.mjd - epoch.mjd)) * deg
    E = M
    for _ in range(50):
        E -= (E - ecc * np.sin(E) - M) / (1 - ecc * np.cos(E))
    x, y = a * (np.cos(E) - ecc), a * np.sqrt(1 - ecc * ecc) * np.sin(E)
    return np.array([x, y, 0.0])  # node, perihelion and inclination 0

def equator(v):
    return np.array([v[0], np.cos(eps) * v[1] - np.sin(eps) * v[2], np.sin(eps) * v[1] + np.cos(eps) * v[2]])

def seen(observer):
    body = equator(ecliptic(t))
    for _ in range(4):
        tau = np.linalg.norm(body - observer) / 173.1446326846693
        body = equator(ecliptic(t - tau * u.day))
    v = body - observer
    return np.degrees(np.arctan2(v[1], v[0])) % 360, np.degrees(np.arctan2(v[2], np.hypot(v[0], v[1]))), np.linalg.norm(v)

earth = helio_earth(t)
site = EarthLocation.from_geocentric(1815196.768, -5213898.987, -3187566.098, unit=u.m)
pos, _ = site.get_gcrs_posvel(t)
observer = earth + pos.xyz.to(u.au).value
print('geocentric  RA %.6f Dec %.6f distance %.6f' % seen(earth))
print('topocentric RA %.6f Dec %.6f distance %.6f' % seen(observer))
