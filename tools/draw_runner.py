#!/usr/bin/env python3
"""Draws the 25 running-man frames (data/manRun00.txt ... manRun0o.txt).

A stick figure seen from the side, running to the right. Every joint angle is
a smooth periodic function of the stride phase k/25 (a closed spline through
key poses), so frame 24 leads back into frame 0. Limbs are rasterised into character cells (square, like the 8x8 font)
with a character chosen by the slope of each piece. Every frame is the same
WIDTH x HEIGHT box, each line padded with blanks, so a frame printed over the
previous one replaces it completely.

Usage: draw_runner.py [data folder]   (default: the data folder next to tools/)
       draw_runner.py --show          (prints the frames instead)
"""
import math
import os
import sys

WIDTH, HEIGHT = 16, 19
FRAMES = 25
NAMES = '0123456789abcdefghijklmno'

# Body proportions in cells.
TORSO, NECK = 4.2, 1.4
THIGH, SHIN, FOOT = 4.1, 4.1, 1.4
UPPER_ARM, FOREARM = 2.8, 2.5
HIP = (8.5, 9.7)          # hip position at the middle of the bob


def direction(angle):
    """Unit vector of a limb angle in degrees: 0 points down, +90 forward."""
    a = math.radians(angle)
    return math.sin(a), math.cos(a)


def slope_char(dx, dy):
    """The character that best draws a piece going (dx, dy), y down."""
    a = math.degrees(math.atan2(-dy, dx)) % 180.0
    if a < 22.5 or a >= 157.5:
        return '-'
    if a < 67.5:
        return '/'
    if a < 112.5:
        return '|'
    return '\\'


class Canvas:
    def __init__(self):
        self.cells = [[' '] * WIDTH for _ in range(HEIGHT)]
        self.clipped = 0  # cells that fell outside the box

    def put(self, x, y, ch):
        c, r = int(math.floor(x)), int(math.floor(y))
        if 0 <= c < WIDTH and 0 <= r < HEIGHT:
            self.cells[r][c] = ch
        else:
            self.clipped += 1

    def segment(self, p, q, ch=None):
        """A line of cells from p to q, one cell per step along the longer
        axis (like a Bresenham line), all drawn with the character of the
        line's slope unless ch is given."""
        ch = ch or slope_char(q[0] - p[0], q[1] - p[1])
        x0, y0 = math.floor(p[0]), math.floor(p[1])
        x1, y1 = math.floor(q[0]), math.floor(q[1])
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            t = i / n
            self.put(x0 + (x1 - x0) * t + 0.5, y0 + (y1 - y0) * t + 0.5, ch)

    def text(self, x, y, s):
        for i, ch in enumerate(s):
            if ch != ' ':
                self.put(x + i, y, ch)

    def lines(self):
        return [''.join(row) for row in self.cells]


def add(p, length, angle):
    ux, uy = direction(angle)
    return p[0] + ux * length, p[1] + uy * length


# One leg over one stride, t from 0 (foot strike) to 1: thigh angle and knee
# flexion in degrees. Stance until toe-off at 0.35, then the swing: the heel
# comes up behind, the knee drives forward and the leg reaches for the ground.
LEG_KEYS = [
    (0.00, 38.0, 12.0),    # strike, well ahead of the body
    (0.12, 14.0, 32.0),    # loading
    (0.24, -12.0, 28.0),   # the body passes over the foot
    (0.36, -38.0, 10.0),   # toe-off, the leg stretched out behind
    (0.50, -28.0, 85.0),   # heel up behind
    (0.62, 8.0, 120.0),    # heel under the seat
    (0.76, 42.0, 95.0),    # knee high in front
    (0.90, 48.0, 35.0),    # reaching
]


def periodic_spline(keys, t, column):
    """Catmull-Rom through (t, value...) keys, wrapping at t = 1."""
    n = len(keys)
    t %= 1.0
    i = max(j for j in range(n) if keys[j][0] <= t)

    def key(j):
        # key j of the endless repetition of the cycle (j may be -1 or >= n)
        return keys[j % n][0] + j // n, keys[j % n][column]

    t0, p0 = key(i - 1)
    t1, p1 = key(i)
    t2, p2 = key(i + 1)
    t3, p3 = key(i + 2)
    u = (t - t1) / (t2 - t1)
    m1 = (p2 - p0) / (t2 - t0) * (t2 - t1)
    m2 = (p3 - p1) / (t3 - t1) * (t2 - t1)
    h00 = 2 * u ** 3 - 3 * u ** 2 + 1
    h10 = u ** 3 - 2 * u ** 2 + u
    h01 = -2 * u ** 3 + 3 * u ** 2
    h11 = u ** 3 - u ** 2
    return h00 * p1 + h10 * m1 + h01 * p2 + h11 * m2


def leg(canvas, hip, t):
    thigh = periodic_spline(LEG_KEYS, t, 1)
    knee = periodic_spline(LEG_KEYS, t, 2)
    shin = thigh - knee
    k = add(hip, THIGH, thigh)
    a = add(k, SHIN, shin)
    foot = shin + 95.0
    toe = add(a, FOOT, foot)
    canvas.segment(hip, k)
    canvas.segment(k, a)
    if abs(foot - 90.0) < 35.0:  # the foot shows while it is near level
        canvas.segment(a, toe, '_')


def arm(canvas, shoulder, thigh):
    """The arm swings against the leg of its own side."""
    upper = -0.9 * thigh
    elbow = add(shoulder, UPPER_ARM, upper)
    fore = upper + 100.0
    hand = add(elbow, FOREARM, fore)
    canvas.segment(add(shoulder, 0.8, upper), elbow)  # clear of the torso
    canvas.segment(elbow, hand)


def frame(k):
    t = k / FRAMES                           # near leg strikes at t = 0
    bob = 0.6 * math.cos(4.0 * math.pi * (t - 0.15))  # low at mid-stance
    hip = (HIP[0], HIP[1] + bob)
    shoulder = add(hip, TORSO, 180.0)   # where the arms hang from
    neck = add(shoulder, NECK, 180.0)   # the head sits on this
    c = Canvas()
    # Far side first, so the body and the near limbs are drawn over it.
    arm(c, shoulder, periodic_spline(LEG_KEYS, t + 0.5, 1))
    leg(c, hip, t + 0.5)
    c.segment(hip, neck)
    leg(c, hip, t)
    arm(c, shoulder, periodic_spline(LEG_KEYS, t, 1))
    hx, hy = neck
    c.text(hx - 1.5, hy - 3.0, ' __ ')
    c.text(hx - 1.5, hy - 2.0, '/  \\')
    c.text(hx - 1.5, hy - 1.0, '\\__/')
    if c.clipped:
        raise SystemExit('frame %d does not fit the %d x %d box'
                         % (k, WIDTH, HEIGHT))
    return c.lines()


def main(argv):
    frames = [frame(k) for k in range(FRAMES)]
    if '--show' in argv:
        for k, lines in enumerate(frames):
            print('-- frame %d' % k)
            print('\n'.join(lines))
        return 0
    folder = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'data')
    for k, lines in enumerate(frames):
        path = os.path.join(folder, 'manRun0%s.txt' % NAMES[k])
        with open(path, 'w', newline='\n') as f:
            f.write(''.join(line + '\n' for line in lines))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
