"""Accuracy of the alignment engine against align_image_stack and AlignMTB.

Builds series with known motion from the bundled photographs and brackets,
runs the three aligners on them in one run, and prints per frame the error of
the estimated motion at the picture's corners (ours, and AlignMTB's shift) and
the misalignment left in the aligned pictures against the unmoved ones over
the central 80 %.

Usage: python3 align_accuracy.py ALIGN_FILES DATA_DIR WORK_DIR [SET ...]
(called by align_vs_peers.sh, which installs the peers and builds ALIGN_FILES).

The series (deterministic: fixed seeds):
- photographs (sunset, picos, seeding): one photograph made into -2/0/+2 EV
  exposures in linear light with sensor-like noise (shot and read noise),
  clipping, the sRGB-like curve back, 8 bits and JPEG quality 92. "turn" sets
  move the camera as a hand-held one turns (yaw and pitch moving the centre by
  up to 60 px, roll up to 2 degrees, focal length = the picture's diagonal),
  "plane" sets shift, rotate and scale in the picture plane (scale within 1 %).
- the middle frames of the bundled brackets (rovinia, secretbeach) made into
  exposures the same way (their own frames are off by 0.2-0.4 px from each
  other, too much for a known motion);
- the real St. Louis exposures, 3 EV apart, at 2816 x 2112, moved the same way
  (turns), JPEG quality 95.
The middle frame (n/2, counting from 0) is the reference and stays unmoved;
every frame is cut to a common central window, as a camera gives a full frame.
Frames are resampled from the originals with OpenCV's Lanczos kernel, not ours.

The St. Louis frames are not aligned to each other in the original series (the
camera moved between them by up to 12 px); their own motion is measured once
with OpenCV's ECC on gradient-magnitude pictures (independent of ours; a frame
not next to the reference through the frame next to it, 3 EV away, the two
maps composed) and taken out when the unmoved frames are made, so "unmoved"
means aligned to the reference there too. Its own uncertainty is part of the St. Louis figures, so
for St. Louis a second line ("ours*") gives the error against the known
synthetic motion composed with our own estimate of the original frames' motion:
how well the motion added by hand is recovered across the real 3-EV steps.

Misalignment left: the aligned frame and the unmoved frame of the same
exposure are compared by pyramidal Lucas-Kanade tracking of a grid of textured
points over the central 80 %; a homography fitted robustly to the tracked
displacements gives the displacement field, whose median and largest length
over the central 80 % are reported (px). For St. Louis also between each
aligned frame and the aligned frame next to it towards the reference (its
grey levels matched to the other's histogram first): the double contours a
fused picture would show.

Still series: ours on the unmoved frames, which must all be reported still.
"""
import json
import math
import os
import subprocess
import sys
import time

import cv2
import numpy as np

# ---------------------------------------------------------------- series ---

PHOTOS = {
    "sunset": "photos/sunset_by_Aitzol_Berasategi.jpg",
    "picos": "photos/picosdeeuropa_by_Aitzol_Berasategi.jpg",
    "seeding": "photos/seeding_by_Clements_Engelhardt.jpg",
    # The middle exposures of the bundled brackets: their frames are not aligned to
    # a tenth of a pixel, so synthetic exposures of one frame give the known motion.
    "rovinia": "bracketed/merianos-rovinia/rovinia2.jpg",
    "secretbeach": "bracketed/merianos-secretbeach/SecretBeach2.jpg",
}
BRACKETS = {
    "stlouis": ["bracketed/stlouis-arch/0_StLouisArchMultExpEV-4.72.jpeg",
                "bracketed/stlouis-arch/1_StLouisArchMultExpEV-1.82.jpeg",
                "bracketed/stlouis-arch/2_StLouisArchMultExpEV+1.18.jpeg",
                "bracketed/stlouis-arch/3_StLouisArchMultExpEV+4.09.jpeg"],
}
MARGIN = 0.07  # of each side cut away: the window every moved frame covers
# Sets made by an earlier version of this script are made again (2: St. Louis'
# far frame measured through the frame next to it).
SET_VERSION = 2


def turn(size, rng):
    """A hand-held camera turn: yaw and pitch (centre moves <= 60 px), roll <= 2 deg."""
    w, h = size
    f = math.hypot(w, h)
    shift = rng.uniform(20, 60)
    angle = rng.uniform(0, 2 * math.pi)
    yaw = math.atan(shift * math.cos(angle) / f)
    pitch = math.atan(shift * math.sin(angle) / f)
    roll = math.radians(rng.uniform(-2, 2))
    ry = cv2.Rodrigues(np.array([0.0, yaw, 0.0]))[0]
    rx = cv2.Rodrigues(np.array([pitch, 0.0, 0.0]))[0]
    rz = cv2.Rodrigues(np.array([0.0, 0.0, roll]))[0]
    k = np.array([[f, 0, (w - 1) / 2], [0, f, (h - 1) / 2], [0, 0, 1.0]])
    return k @ (rz @ rx @ ry) @ np.linalg.inv(k)


def plane(size, rng):
    """A shift (<= 40 px), rotation (<= 1 deg) and scale (within 1 %) in the picture plane."""
    w, h = size
    c = np.array([(w - 1) / 2, (h - 1) / 2])
    a = math.radians(rng.uniform(-1, 1))
    s = 1 + rng.uniform(-0.01, 0.01)
    t = rng.uniform(-40, 40, 2)
    m = np.eye(3)
    m[:2, :2] = s * np.array([[math.cos(a), -math.sin(a)], [math.sin(a), math.cos(a)]])
    m[:2, 2] = c + t - m[:2, :2] @ c
    return m


def translate(x, y):
    return np.array([[1, 0, x], [0, 1, y], [0, 0, 1.0]])


def to_linear(img8):
    return (img8.astype(np.float32) / 255.0) ** 2.2


def to_8bit(linear):
    return np.round(np.clip(linear, 0, 1) ** (1 / 2.2) * 255).astype(np.uint8)


def exposed(linear, ev, rng):
    """An exposure of the scene: gain, shot and read noise, clipping."""
    x = linear * (2.0 ** ev)
    noise = np.sqrt(np.maximum(x, 0) / 4000.0 + 0.0015 ** 2)
    return x + rng.standard_normal(x.shape).astype(np.float32) * noise.astype(np.float32)


def warp(img, m_dst_to_src, size):
    return cv2.warpPerspective(img, m_dst_to_src, size,
                               flags=cv2.INTER_LANCZOS4 | cv2.WARP_INVERSE_MAP,
                               borderMode=cv2.BORDER_REFLECT)


def make_set(name, data, work):
    """Writes moved_k.jpg, unmoved_k.jpg and truth.json; returns the set's record."""
    folder = os.path.join(work, name)
    truth_path = os.path.join(folder, "truth.json")
    if os.path.exists(truth_path):
        with open(truth_path) as f:
            record = json.load(f)
        if record.get("version") == SET_VERSION:
            return record
    os.makedirs(folder, exist_ok=True)
    base, kind = name.rsplit("-", 1)
    rng = np.random.default_rng(sum(map(ord, name)))
    if base in PHOTOS:
        original = cv2.imread(os.path.join(data, PHOTOS[base]), cv2.IMREAD_COLOR)
        scene = to_linear(original)
        frames = [("linear", scene, ev) for ev in (-2, 0, 2)]
        quality = 92
    else:
        frames = [("gamma", cv2.imread(os.path.join(data, p), cv2.IMREAD_COLOR), 0)
                  for p in BRACKETS[base]]
        quality = 95
    oh, ow = frames[0][1].shape[:2]
    mx, my = int(ow * MARGIN), int(oh * MARGIN)
    win = (ow - 2 * mx, oh - 2 * my)
    ref = len(frames) // 2
    own = [np.eye(3)] * len(frames)
    if base == "stlouis":
        own = stlouis_own_motion(frames, ref)
    record = {"name": name, "reference": ref, "size": list(win), "frames": [],
              "version": SET_VERSION}
    for k, (space, img, ev) in enumerate(frames):
        move = np.eye(3) if k == ref else (turn if kind == "turn" else plane)((ow, oh), rng)
        # Window pixel p of the moved frame shows original point move(p + margin),
        # the unmoved frame shows own(p + margin): own takes out the real series' motion.
        moved_map = own[k] @ move @ translate(mx, my)
        unmoved_map = own[k] @ translate(mx, my)
        outs = []
        for m in (moved_map, unmoved_map):
            if space == "linear":
                lin = warp(img, m, win)
                frame = to_8bit(exposed(lin, ev, rng))
            else:
                frame = warp(img, m, win)
            outs.append(frame)
        moved_path = os.path.join(folder, "moved_%d.jpg" % k)
        unmoved_path = os.path.join(folder, "unmoved_%d.jpg" % k)
        cv2.imwrite(moved_path, outs[0], [cv2.IMWRITE_JPEG_QUALITY, quality])
        cv2.imwrite(unmoved_path, outs[1], [cv2.IMWRITE_JPEG_QUALITY, quality])
        # The truth in our convention: reference window pixel p -> moved frame pixel.
        # Reference pixel p shows the scene at p + o (reference coordinates), which
        # frame k's original holds at own_k(p + o) and the moved frame at
        # moved_map^-1 of that.
        to_source = np.linalg.inv(moved_map) @ own[k] @ translate(mx, my)
        record["frames"].append({"moved": moved_path, "unmoved": unmoved_path,
                                 "to_source": (to_source / to_source[2, 2]).tolist(),
                                 "moved_map": moved_map.tolist(),
                                 "margin": [mx, my]})
    with open(truth_path, "w") as f:
        json.dump(record, f)
    return record


def gradient_picture(img):
    g = cv2.GaussianBlur(cv2.cvtColor(img, cv2.COLOR_BGR2GRAY).astype(np.float32), (0, 0), 1.5)
    gx = cv2.Sobel(g, cv2.CV_32F, 1, 0)
    gy = cv2.Sobel(g, cv2.CV_32F, 0, 1)
    m = np.log1p(np.sqrt(gx * gx + gy * gy))
    return (m / max(m.max(), 1e-6)).astype(np.float32)


def stlouis_own_motion(frames, ref):
    """Each real frame's map onto the reference (original coordinates), by OpenCV's ECC.

    A frame next to the reference is matched with it; one further away with the
    frame next to it towards the reference (3 EV away instead of 6), the two maps
    composed."""
    maps = [None] * len(frames)
    maps[ref] = np.eye(3)
    for k in sorted(range(len(frames)), key=lambda k: abs(k - ref)):
        if k == ref:
            continue
        n = neighbour(k, ref)
        target = gradient_picture(frames[n][1])
        warp_matrix = np.eye(3, dtype=np.float32)
        # Whole-pixel start from phase correlation of the gradient pictures.
        moving = gradient_picture(frames[k][1])
        (dx, dy), _ = cv2.phaseCorrelate(target, moving)
        warp_matrix[0, 2], warp_matrix[1, 2] = dx, dy
        criteria = (cv2.TERM_CRITERIA_EPS | cv2.TERM_CRITERIA_COUNT, 200, 1e-7)
        try:
            _, warp_matrix = cv2.findTransformECC(target, moving, warp_matrix,
                                                  cv2.MOTION_HOMOGRAPHY, criteria, None, 5)
        except cv2.error:
            pass
        # ECC's map: frame n pixel -> frame k pixel; the unmoved frame k must show at p
        # what the reference shows at p: original point (ecc o own_n)(p).
        maps[k] = warp_matrix.astype(np.float64) @ maps[n]
    return maps


# ------------------------------------------------------------ aligners ---

def run_ours(tool, rec, out_dir):
    files = [f["moved"] for f in rec["frames"]]
    prefix = os.path.join(out_dir, "ours_")
    start = time.perf_counter()
    text = subprocess.run([tool, "--reference", str(rec["reference"] + 1), "--out", prefix] + files,
                          check=True, capture_output=True, text=True).stdout
    wall = time.perf_counter() - start
    est = {}
    motions = {}
    for line in text.splitlines():
        p = line.split()
        if p[0] == "frame":
            k = int(p[1]) - 1
            h = np.array([float(v) for v in p[p.index("H") + 1:p.index("H") + 10]]).reshape(3, 3)
            motions[k] = (p[2], p[3], h)
        elif p[0] == "estimation_ms":
            est["estimation_s"] = float(p[1]) / 1000
    aligned = {k: prefix + "%d.tif" % (k + 1) for k in range(len(files))}
    return aligned, motions, wall, est


def run_ours_on(tool, files, reference):
    """Our motions of picture files (reference counted from 0)."""
    text = subprocess.run([tool, "--reference", str(reference + 1)] + files, check=True,
                          capture_output=True, text=True).stdout
    motions = {}
    for line in text.splitlines():
        p = line.split()
        if p[0] == "frame":
            motions[int(p[1]) - 1] = np.array(
                [float(v) for v in p[p.index("H") + 1:p.index("H") + 10]]).reshape(3, 3)
    return motions


def run_ours_still(tool, rec):
    """Our outcome and corner motion on the unmoved frames: (outcome, corner) per frame."""
    files = [f["unmoved"] for f in rec["frames"]]
    text = subprocess.run([tool, "--reference", str(rec["reference"] + 1)] + files, check=True,
                          capture_output=True, text=True).stdout
    result = {}
    for line in text.splitlines():
        p = line.split()
        if p[0] == "frame" and int(p[1]) - 1 != rec["reference"]:
            result[int(p[1]) - 1] = (p[2], float(p[p.index("corner") + 1]))
    return result


def run_ais(rec, out_dir, hfov):
    ref = rec["reference"]
    files = [f["moved"] for f in rec["frames"]]
    order = [ref] + [k for k in range(len(files)) if k != ref]
    prefix = os.path.join(out_dir, "ais_")
    start = time.perf_counter()
    done = subprocess.run(["align_image_stack", "--align-to-first", "-f", "%.3f" % hfov, "-a",
                           prefix] + [files[k] for k in order], capture_output=True, text=True)
    wall = time.perf_counter() - start
    aligned = {}
    if done.returncode == 0:
        for i, k in enumerate(order):
            aligned[k] = prefix + "%04d.tif" % i
    return aligned, wall


def run_mtb(rec, out_dir):
    ref = rec["reference"]
    imgs = [cv2.imread(f["moved"], cv2.IMREAD_COLOR) for f in rec["frames"]]
    mtb = cv2.createAlignMTB()
    start = time.perf_counter()
    gray = [cv2.cvtColor(i, cv2.COLOR_BGR2GRAY) for i in imgs]
    shifts = {}
    aligned = {}
    for k, img in enumerate(imgs):
        s = (0, 0) if k == ref else mtb.calculateShift(gray[ref], gray[k])
        shifts[k] = s
        out = mtb.shiftMat(img, s)
        path = os.path.join(out_dir, "mtb_%d.png" % k)
        cv2.imwrite(path, out)
        aligned[k] = path
    wall = time.perf_counter() - start
    return aligned, shifts, wall


# ---------------------------------------------------------- measures ---

def central_grid(size, step):
    w, h = size
    xs = np.arange(0.1 * w, 0.9 * w + 1e-9, step)
    ys = np.arange(0.1 * h, 0.9 * h + 1e-9, step)
    return np.array([(x, y) for y in ys for x in xs], np.float64)


def map_points(h, pts):
    p = np.c_[pts, np.ones(len(pts))] @ h.T
    return p[:, :2] / p[:, 2:3]


def geometric_error(h_est, h_true, size):
    """|h_est(p) - h_true(p)| at the corners and over the central 80 %."""
    w, h = size
    corners = np.array([(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)], np.float64)
    corner = np.linalg.norm(map_points(h_est, corners) - map_points(h_true, corners), axis=1)
    grid = central_grid(size, 16)
    field = np.linalg.norm(map_points(h_est, grid) - map_points(h_true, grid), axis=1)
    return corner.max(), np.median(field), field.max()


def measured_misalignment(aligned_path, unmoved_path, size, match=False):
    """Median and largest displacement (px) of the aligned frame against the unmoved one.

    With `match`, the aligned frame is another exposure: its grey levels are first
    mapped onto the other's by matching their histograms."""
    a = cv2.imread(aligned_path, cv2.IMREAD_GRAYSCALE)
    u = cv2.imread(unmoved_path, cv2.IMREAD_GRAYSCALE)
    if a is None or u is None or a.shape != u.shape:
        return float("nan"), float("nan")
    if match:
        a = matched_histogram(a, u)
    w, h = size
    x0, y0, x1, y1 = int(0.1 * w), int(0.1 * h), int(0.9 * w), int(0.9 * h)
    mask = np.zeros_like(u)
    mask[y0:y1, x0:x1] = 255
    mask[(u < 8) | (u > 247)] = 0
    pts = cv2.goodFeaturesToTrack(u, maxCorners=2000, qualityLevel=0.01,
                                  minDistance=max(8, int(min(w, h) / 60)), mask=mask,
                                  blockSize=9)
    if pts is None or len(pts) < 12:
        return float("nan"), float("nan")
    lk = dict(winSize=(41, 41), maxLevel=6,
              criteria=(cv2.TERM_CRITERIA_EPS | cv2.TERM_CRITERIA_COUNT, 60, 0.001))
    moved, st, _ = cv2.calcOpticalFlowPyrLK(u, a, pts, None, **lk)
    back, st2, _ = cv2.calcOpticalFlowPyrLK(a, u, moved, None, **lk)
    good = (st[:, 0] == 1) & (st2[:, 0] == 1) & (np.linalg.norm(back - pts, axis=2)[:, 0] < 0.1)
    if good.sum() < 12:
        return float("nan"), float("nan")
    src = pts[good].reshape(-1, 2).astype(np.float64)
    dst = moved[good].reshape(-1, 2).astype(np.float64)
    hm, _ = cv2.findHomography(src, dst, cv2.RANSAC, 0.5)
    if hm is None:
        return float("nan"), float("nan")
    grid = central_grid(size, 16)
    field = np.linalg.norm(map_points(hm, grid) - grid, axis=1)
    return float(np.median(field)), float(field.max())


def matched_histogram(img, target):
    """`img`'s grey levels mapped so that its histogram matches `target`'s."""
    ci = np.cumsum(np.bincount(img.ravel(), minlength=256)) / img.size
    ct = np.cumsum(np.bincount(target.ravel(), minlength=256)) / target.size
    lut = np.searchsorted(ct, ci).clip(0, 255).astype(np.uint8)
    return lut[img]


def neighbour(k, ref):
    """The frame next to frame k towards the reference."""
    return k + 1 if k < ref else k - 1


# -------------------------------------------------------------- main ---

def main():
    tool, data, work = sys.argv[1:4]
    names = sys.argv[4:] or ["sunset-turn", "sunset-plane", "picos-turn", "picos-plane",
                             "seeding-turn", "seeding-plane", "rovinia-turn", "rovinia-plane",
                             "secretbeach-turn", "secretbeach-plane", "stlouis-turn"]
    print("%-17s %5s %-7s %9s %9s %9s %9s %9s %9s %8s" % (
        "set", "frame", "method", "corner", "geo_med", "geo_max", "left_med", "left_max",
        "unaligned", "time_s"))
    summary = []
    adjacent = []
    still = []
    for name in names:
        rec = make_set(name, data, work)
        out = os.path.join(work, name, "out")
        os.makedirs(out, exist_ok=True)
        size = tuple(rec["size"])
        hfov = math.degrees(2 * math.atan((size[0] / 2) / math.hypot(*size)))
        ours, motions, wall, est = run_ours(tool, rec, out)
        own = None
        if name.startswith("stlouis"):
            own = run_ours_on(tool, [os.path.join(data, p) for p in BRACKETS["stlouis"]],
                              rec["reference"])
        ais, ais_wall = run_ais(rec, out, hfov)
        mtb, shifts, mtb_wall = run_mtb(rec, out)
        for k, f in enumerate(rec["frames"]):
            if k == rec["reference"]:
                continue
            truth = np.array(f["to_source"])
            unaligned = geometric_error(np.eye(3), truth, size)[1:]  # median, largest
            outcome, model, h = motions[k]
            corner, gmed, gmax = geometric_error(h, truth, size)
            lmed, lmax = measured_misalignment(ours[k], f["unmoved"], size)
            print("%-17s %5d %-7s %9.3f %9.3f %9.3f %9.3f %9.3f %9.2f %8.2f  %s %s" % (
                name, k, "ours", corner, gmed, gmax, lmed, lmax, unaligned[1],
                est.get("estimation_s", float("nan")), outcome, model))
            summary.append((name, k, "ours", lmed, lmax, unaligned[1], gmed, gmax))
            if own is not None:
                mx, my = f["margin"]
                truth_own = np.linalg.inv(np.array(f["moved_map"])) @ own[k] @ translate(mx, my)
                c2, g2med, g2max = geometric_error(h, truth_own, size)
                print("%-17s %5d %-7s %9.3f %9.3f %9.3f %9s %9s %9.2f" % (
                    name, k, "ours*", c2, g2med, g2max, "-", "-", unaligned[1]))
            sx, sy = shifts[k]
            hm = translate(-sx, -sy)
            mcorner, mgmed, mgmax = geometric_error(hm, truth, size)
            mlmed, mlmax = measured_misalignment(mtb[k], f["unmoved"], size)
            print("%-17s %5d %-7s %9.3f %9.3f %9.3f %9.3f %9.3f %9.2f %8.2f" % (
                name, k, "mtb", mcorner, mgmed, mgmax, mlmed, mlmax, unaligned[1], mtb_wall))
            summary.append((name, k, "mtb", mlmed, mlmax, unaligned[1], mgmed, mgmax))
            if k in ais:
                almed, almax = measured_misalignment(ais[k], f["unmoved"], size)
            else:
                almed, almax = float("nan"), float("nan")
            print("%-17s %5d %-7s %9s %9s %9s %9.3f %9.3f %9.2f %8.2f" % (
                name, k, "ais", "-", "-", "-", almed, almax, unaligned[1], ais_wall))
            summary.append((name, k, "ais", almed, almax, unaligned[1], None, None))
        if own is not None:
            estimates = {"ours": {k: m[2] for k, m in motions.items()},
                         "mtb": {k: translate(-sx, -sy) for k, (sx, sy) in shifts.items()}}
            next_to_each_other(name, rec, {"ours": ours, "mtb": mtb, "ais": ais}, estimates, size,
                               adjacent)
        for k, (outcome, corner) in run_ours_still(tool, rec).items():
            still.append((name, k, outcome, corner))
        sys.stdout.flush()
    print()
    print("Per method (left = misalignment left, px; 'worse' counts frames whose largest")
    print("misalignment left exceeds the largest one before alignment):")
    for method in ("ours", "mtb", "ais"):
        for group in ("photograph and bracket sets", "stlouis"):
            summarise(summary, method, group)
    print()
    print("Still series (ours on the unmoved frames; St. Louis' own motion taken out by ECC):")
    for name, k, outcome, corner in still:
        print("  %-17s frame %d  %-7s corner motion estimated %.3f px" % (name, k, outcome, corner))
    if adjacent:
        print()
        print("Frames next to each other (St. Louis; 'unmoved' is the measure's own noise with")
        print("the series' own motion taken out by ECC):")
        for method in ("unmoved", "ours", "mtb", "ais"):
            rows = [r for r in adjacent if r[1] == method]
            print("  %-7s largest median %.3f  largest %.3f" % (
                method, np.nanmax([r[2] for r in rows]), np.nanmax([r[3] for r in rows])))


def next_to_each_other(name, rec, aligned, estimates, size, adjacent):
    """Misalignment left between each aligned frame and the aligned frame next to it
    towards the reference, as a fused picture shows it in double contours.

    Measured from the pictures (another exposure: histograms matched; 'unmoved'
    measures the unmoved frames, the measure's own noise) in left_med/left_max, and,
    for the aligners that give a motion, from the motions in geo_med/geo_max: the
    difference of the two frames' errors against the known motions, that is against
    ECC's estimate of the motion between the two real frames."""
    ref = rec["reference"]
    unmoved = {k: f["unmoved"] for k, f in enumerate(rec["frames"])}
    grid = central_grid(size, 16)
    for k in range(len(rec["frames"])):
        if k == ref:
            continue
        n = neighbour(k, ref)
        for method, paths in [("unmoved", unmoved)] + list(aligned.items()):
            if k in paths and n in paths:
                med, mx = measured_misalignment(paths[k], paths[n], size, match=True)
            else:
                med, mx = float("nan"), float("nan")
            gmed = gmax = "-"
            if method in estimates:
                def error(j):
                    truth = np.array(rec["frames"][j]["to_source"])
                    return map_points(estimates[method][j], grid) - map_points(truth, grid)
                field = np.linalg.norm(error(k) - error(n), axis=1)
                gmed, gmax = "%.3f" % np.median(field), "%.3f" % field.max()
            print("%-17s %5s %-7s %9s %9s %9s %9.3f %9.3f   (next: frame %d against %d)" % (
                name, "%d>%d" % (k, n), method, "-", gmed, gmax, med, mx, k, n))
            adjacent.append((name, method, med, mx))


def summarise(summary, method, group):
    """One line per method and group of sets: the measured misalignment left."""
    rows = [r for r in summary
            if r[2] == method and r[0].startswith("stlouis") == (group == "stlouis")]
    if not rows:
        return
    med = [r[3] for r in rows]
    mx = [r[4] for r in rows]
    worse = sum(1 for r in rows if not r[4] <= r[5])
    print("  %-5s %-28s frames %2d  median of medians %.3f  worst median %.3f  worst max "
          "%.3f  worse than unaligned %d" % (method, group, len(rows), np.nanmedian(med),
                                             np.nanmax(med), np.nanmax(mx), worse))


if __name__ == "__main__":
    main()
