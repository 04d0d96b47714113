#!/usr/bin/python3
"""The engine sequence of a processing run done with Debian's Python stack
(astropy, sep, reproject), for comparison with vospen-bench-engine.

usage: engine_peer.py REFERENCE RESHOT OUTDIR
Prints one figure per line as `name: value unit`. Plate solving has no peer
here (no solver in Debian's Python packages); JPEG export neither."""
import os
import sys
import time

import numpy as np
from astropy.io import fits
from astropy.wcs import WCS
import sep
from reproject import reproject_interp


def figure(name, value, unit):
    print(f"{name}: {value:.4g} {unit}", flush=True)


def main():
    ref_path, new_path, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    t0 = last = time.perf_counter()

    def step(name):
        nonlocal last
        now = time.perf_counter()
        figure(name, (now - last) * 1000, "ms")
        last = now

    ref = fits.open(ref_path)[0]
    new = fits.open(new_path)[0]
    ref_data = ref.data.astype(np.float32)
    new_data = new.data.astype(np.float32)
    step("open_both")
    ref_sky = sep.Background(ref_data).globalback
    new_sky = sep.Background(new_data).globalback
    step("plate_difference")
    diff = new_sky - ref_sky
    if diff < 0:
        new_data += abs(diff)
    else:
        ref_data += abs(diff)
    step("adjust")
    sub = new_data.copy()
    step("duplicate")
    aligned, footprint = reproject_interp((ref_data, WCS(ref.header)), WCS(new.header), shape_out=new_data.shape,
                                          order="bicubic")
    step("align")
    # flux scale from bright stars, as the engine does
    bkg = sep.Background(new_data)
    objs = sep.extract(new_data - bkg, 20, err=bkg.globalrms)
    f1, _, _ = sep.sum_circle(new_data - bkg.globalback, objs["x"], objs["y"], 5.0, bkgann=(7.0, 10.0))
    f2, _, _ = sep.sum_circle(np.nan_to_num(aligned) - bkg.globalback, objs["x"], objs["y"], 5.0, bkgann=(7.0, 10.0))
    good = (f1 > 0) & (f2 > 0)
    scale = np.median(f1[good] / f2[good]) if good.sum() >= 5 else 1.0
    sub = new_data - scale * aligned
    sub -= np.nanmedian(sub)
    step("subtract")
    fits.writeto(os.path.join(out, "Subtracted.fts"), sub.astype(np.float32), new.header, overwrite=True)
    fits.writeto(os.path.join(out, "ReferenceImage.fts"), aligned.astype(np.float32), new.header, overwrite=True)
    fits.writeto(os.path.join(out, "ReshotImage.fts"), new_data, new.header, overwrite=True)
    step("save_three_fits")
    figure("total", (time.perf_counter() - t0) * 1000, "ms")


if __name__ == "__main__":
    main()
