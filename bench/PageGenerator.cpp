#include "PageGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace tvbench {

namespace {

constexpr double kPi = 3.14159265358979323846;

// splitmix64: the standard library's distributions may differ between
// implementations, so the pages draw every random number from this.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Between(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    // Inclusive of both ends.
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
    bool Chance(double p) { return Unit() < p; }

private:
    std::uint64_t state_;
};

// One byte a pixel while drawing; packed only at the end.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), px_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    std::uint8_t& At(int x, int y) { return px_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + x]; }
    std::uint8_t At(int x, int y) const {
        return px_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + x];
    }
    void Set(int x, int y, bool black = true) {
        if (Inside(x, y)) At(x, y) = black ? 1 : 0;
    }
    bool Get(int x, int y) const { return Inside(x, y) && At(x, y) != 0; }
    void Fill(int x0, int y0, int w, int h, bool black = true) {
        const int xa = std::max(0, x0), xb = std::min(width_, x0 + w);
        const int ya = std::max(0, y0), yb = std::min(height_, y0 + h);
        for (int y = ya; y < yb; ++y) {
            for (int x = xa; x < xb; ++x) At(x, y) = black ? 1 : 0;
        }
    }
    // A rectangle's outline drawn inside its bounds.
    void Frame(int x0, int y0, int w, int h, int t) {
        Fill(x0, y0, w, t);
        Fill(x0, y0 + h - t, w, t);
        Fill(x0, y0, t, h);
        Fill(x0 + w - t, y0, t, h);
    }
    void Disc(double cx, double cy, double r) {
        const int xa = static_cast<int>(std::floor(cx - r)), xb = static_cast<int>(std::ceil(cx + r));
        const int ya = static_cast<int>(std::floor(cy - r)), yb = static_cast<int>(std::ceil(cy + r));
        for (int y = ya; y <= yb; ++y) {
            for (int x = xa; x <= xb; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                if (dx * dx + dy * dy <= r * r) Set(x, y);
            }
        }
    }
    // A pen stroke: discs stamped along the segment.
    void Line(double x0, double y0, double x1, double y1, double width) {
        const double len = std::hypot(x1 - x0, y1 - y0);
        const int steps = std::max(1, static_cast<int>(len * 2));
        const double r = std::max(0.5, width / 2);
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            Disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, r);
        }
    }
    std::vector<std::uint8_t>& Pixels() { return px_; }

private:
    int width_, height_;
    std::vector<std::uint8_t> px_;
};

// Ordered dither thresholds, the recursive Bayer construction.
template <int N>
std::array<std::array<int, N>, N> BayerMatrix() {
    std::array<std::array<int, N>, N> m{};
    m[0][0] = 0;
    for (int size = 1; size < N; size *= 2) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int v = m[y][x] * 4;
                m[y][x] = v;
                m[y][x + size] = v + 2;
                m[y + size][x] = v + 3;
                m[y + size][x + size] = v + 1;
            }
        }
    }
    return m;
}

// Fills a rectangle with a flat grey (0 white .. 1 black) through a 4x4
// Bayer matrix, the way fax drivers render tinted form fields.
void Tint(Canvas& c, int x0, int y0, int w, int h, double grey) {
    static const auto bayer = BayerMatrix<4>();
    for (int y = std::max(0, y0); y < std::min(c.Height(), y0 + h); ++y) {
        for (int x = std::max(0, x0); x < std::min(c.Width(), x0 + w); ++x) {
            if (grey * 16 > bayer[y % 4][x % 4] + 0.5) c.At(x, y) = 1;
        }
    }
}

// ---------------------------------------------------------------------------
// Glyphs: letter-like shapes built from stems, bars, elliptic rings and
// diagonal strokes in em units, rasterised once per font size. They are not
// a real typeface, but their stroke widths, counters, ascenders and spacing
// are those of 9..12 pt body text, which is what decides run lengths and
// change counts along a coded line.

struct Glyph {
    int advance = 0;
    int top = 0;  // rows of the bitmap above the baseline
    int width = 0, height = 0;
    std::vector<std::uint8_t> bits;
};

class Shape {
public:
    Shape(double stem, double hair) : t_(stem), h_(hair) {}
    double T() const { return t_; }
    double H() const { return h_; }
    void Rect(double x0, double y0, double x1, double y1) { rects_.push_back({x0, y0, x1, y1}); }
    void Stem(double x, double y0, double y1) { Rect(x, y0, x + t_, y1); }
    // A horizontal bar whose top lies at `top`.
    void BarDown(double x0, double x1, double top) { Rect(x0, top - h_, x1, top); }
    void BarUp(double x0, double x1, double bottom) { Rect(x0, bottom, x1, bottom + h_); }
    // An elliptic ring; the arc from gapFrom to gapTo (degrees, counter-
    // clockwise from the right, may wrap past 360) is left open.
    void Ring(double cx, double cy, double rx, double ry, double gapFrom = 0, double gapTo = 0) {
        rings_.push_back({cx, cy, rx, ry, gapFrom, gapTo});
    }
    void Seg(double x0, double y0, double x1, double y1) { segs_.push_back({x0, y0, x1, y1}); }
    void Dot(double cx, double cy, double r) { dots_.push_back({cx, cy, r}); }

    bool Covers(double x, double y) const {
        for (const auto& r : rects_) {
            if (x >= r[0] && x < r[2] && y >= r[1] && y < r[3]) return true;
        }
        for (const auto& d : dots_) {
            if ((x - d[0]) * (x - d[0]) + (y - d[1]) * (y - d[1]) <= d[2] * d[2]) return true;
        }
        for (const auto& s : segs_) {
            const double vx = s[2] - s[0], vy = s[3] - s[1];
            const double len2 = vx * vx + vy * vy;
            double u = len2 > 0 ? ((x - s[0]) * vx + (y - s[1]) * vy) / len2 : 0;
            u = std::clamp(u, 0.0, 1.0);
            const double dx = x - (s[0] + u * vx), dy = y - (s[1] + u * vy);
            if (dx * dx + dy * dy <= t_ * t_ / 4) return true;
        }
        for (const auto& g : rings_) {
            const double dx = x - g[0], dy = y - g[1];
            const double outer = (dx / g[2]) * (dx / g[2]) + (dy / g[3]) * (dy / g[3]);
            if (outer > 1) continue;
            const double ix = std::max(g[2] - t_, 1e-3), iy = std::max(g[3] - h_, 1e-3);
            if ((dx / ix) * (dx / ix) + (dy / iy) * (dy / iy) <= 1) continue;
            if (g[4] != g[5]) {
                double a = std::atan2(dy / g[3], dx / g[2]) * 180 / kPi;
                if (a < 0) a += 360;
                const double from = g[4], to = g[5];
                const bool open = from < to ? (a >= from && a <= to) : (a >= from || a <= to);
                if (open) continue;
            }
            return true;
        }
        return false;
    }

private:
    double t_, h_;
    std::vector<std::array<double, 4>> rects_;
    std::vector<std::array<double, 6>> rings_;
    std::vector<std::array<double, 4>> segs_;
    std::vector<std::array<double, 3>> dots_;
};

struct Metrics {
    double xh = 0.46, asc = 0.72, cap = 0.68, desc = 0.22, sb = 0.04, ov = 0.012;
};

// Builds the outline of `ch` into `s`; returns the advance in em.
double DescribeGlyph(char ch, Shape& s, const Metrics& m, bool serif) {
    const double t = s.T(), h = s.H(), sb = m.sb, xh = m.xh, asc = m.asc, C = m.cap, d = m.desc, ov = m.ov;
    // Serif feet where a stem stands on the baseline, and the entry flag at
    // the top of a lowercase stem.
    auto foot = [&](double x) {
        if (serif) s.Rect(x - 0.7 * t, 0, x + 1.7 * t, 0.6 * h + 0.01);
    };
    auto flag = [&](double x, double top) {
        if (serif) s.Rect(x - 0.8 * t, top - 0.6 * h - 0.01, x + t, top);
    };
    double w = 0.5;
    switch (ch) {
        case ' ':
            return 0.26;
        case 'o':
            w = 0.50;
            s.Ring(w / 2, xh / 2, w / 2 - sb, xh / 2 + ov);
            break;
        case 'c':
            w = 0.44;
            s.Ring(w / 2, xh / 2, w / 2 - sb, xh / 2 + ov, 320, 40);
            break;
        case 'e':
            w = 0.46;
            s.Ring(w / 2, xh / 2, w / 2 - sb, xh / 2 + ov, 300, 350);
            s.BarUp(sb, w - sb, xh * 0.48);
            break;
        case 'a':
            w = 0.46;
            s.Ring(0.22, 0.13, 0.18, 0.13);
            s.Stem(w - sb - t, 0, xh * 0.72);
            s.Ring(w / 2 - 0.01, xh - 0.14, w / 2 - sb, 0.14 + ov, 150, 360);
            break;
        case 'b':
            w = 0.50;
            s.Stem(sb, 0, asc);
            flag(sb, asc);
            s.Ring(w / 2 + 0.02, xh / 2, w / 2 - sb - 0.02, xh / 2 + ov);
            break;
        case 'd':
            w = 0.50;
            s.Stem(w - sb - t, 0, asc);
            flag(w - sb - t, asc);
            s.Ring(w / 2 - 0.02, xh / 2, w / 2 - sb - 0.02, xh / 2 + ov);
            break;
        case 'p':
            w = 0.50;
            s.Stem(sb, -d, xh);
            foot(sb);
            s.Ring(w / 2 + 0.02, xh / 2, w / 2 - sb - 0.02, xh / 2 + ov);
            break;
        case 'q':
            w = 0.50;
            s.Stem(w - sb - t, -d, xh);
            s.Ring(w / 2 - 0.02, xh / 2, w / 2 - sb - 0.02, xh / 2 + ov);
            break;
        case 'g':
            w = 0.48;
            s.Ring(w / 2 - 0.02, xh / 2 + 0.02, w / 2 - sb - 0.02, xh / 2 - 0.02);
            s.Stem(w - sb - t, -d * 0.55, xh);
            s.Ring(w / 2 - 0.02, -d * 0.55, w / 2 - sb - 0.02, d * 0.45, 0, 180);
            break;
        case 'n':
        case 'h':
            w = 0.52;
            s.Stem(sb, 0, ch == 'h' ? asc : xh);
            flag(sb, ch == 'h' ? asc : xh);
            foot(sb);
            s.Ring(w / 2, xh - 0.16, w / 2 - sb, 0.16 + ov, 180, 360);
            s.Stem(w - sb - t, 0, xh - 0.16);
            foot(w - sb - t);
            break;
        case 'm': {
            w = 0.80;
            const double mid = w / 2 - t / 2;
            s.Stem(sb, 0, xh);
            flag(sb, xh);
            s.Stem(mid, 0, xh - 0.15);
            s.Stem(w - sb - t, 0, xh - 0.15);
            foot(sb);
            foot(mid);
            foot(w - sb - t);
            s.Ring((sb + mid + t) / 2, xh - 0.15, (mid + t - sb) / 2, 0.15 + ov, 180, 360);
            s.Ring((mid + w - sb) / 2, xh - 0.15, (w - sb - mid) / 2, 0.15 + ov, 180, 360);
            break;
        }
        case 'u':
            w = 0.52;
            s.Stem(sb, 0.16, xh);
            flag(sb, xh);
            s.Stem(w - sb - t, 0, xh);
            s.Ring(w / 2, 0.16, w / 2 - sb, 0.16 + ov, 0, 180);
            break;
        case 'r':
            w = 0.35;
            s.Stem(sb, 0, xh);
            flag(sb, xh);
            foot(sb);
            s.Ring(sb + 0.16, xh - 0.14, 0.16, 0.14 + ov, 180, 20);
            break;
        case 'i':
        case 'j':
            w = 0.25;
            s.Stem((w - t) / 2, ch == 'j' ? -d : 0, xh);
            flag((w - t) / 2, xh);
            if (ch == 'i') foot((w - t) / 2);
            if (ch == 'j') s.Rect((w - t) / 2 - 0.1, -d, (w + t) / 2, -d + h);
            s.Dot(w / 2, xh + 0.13, t * 0.75);
            break;
        case 'l':
            w = 0.25;
            s.Stem((w - t) / 2, 0, asc);
            flag((w - t) / 2, asc);
            foot((w - t) / 2);
            break;
        case 't':
            w = 0.32;
            s.Stem(0.1, 0.05, xh + 0.17);
            s.BarDown(0.03, w - 0.03, xh);
            s.Ring(0.1 + 0.1, 0.1, 0.1, 0.1, 20, 180);
            break;
        case 'f':
            w = 0.32;
            s.Stem(0.08, 0, asc - 0.12);
            foot(0.08);
            s.BarDown(0.02, w - 0.04, xh);
            s.Ring(0.08 + 0.12, asc - 0.12, 0.12, 0.12, 180, 20);
            break;
        case 'k':
            w = 0.48;
            s.Stem(sb, 0, asc);
            flag(sb, asc);
            foot(sb);
            s.Seg(sb + t, xh * 0.35, w - sb - 0.03, xh);
            s.Seg(sb + t + 0.08, xh * 0.55, w - sb, t / 2);
            break;
        case 'v':
            w = 0.46;
            s.Seg(sb + t / 2, xh, w / 2, t / 2);
            s.Seg(w / 2, t / 2, w - sb - t / 2, xh);
            break;
        case 'w':
            w = 0.70;
            s.Seg(sb + t / 2, xh, 0.2, t / 2);
            s.Seg(0.2, t / 2, w / 2, xh * 0.8);
            s.Seg(w / 2, xh * 0.8, w - 0.2, t / 2);
            s.Seg(w - 0.2, t / 2, w - sb - t / 2, xh);
            break;
        case 'x':
            w = 0.46;
            s.Seg(sb + t / 2, xh, w - sb - t / 2, t / 2);
            s.Seg(sb + t / 2, t / 2, w - sb - t / 2, xh);
            break;
        case 'y':
            w = 0.46;
            s.Seg(sb + t / 2, xh, w / 2, t / 2);
            s.Seg(w - sb - t / 2, xh, 0.12, -d);
            break;
        case 'z':
            w = 0.42;
            s.BarDown(sb, w - sb, xh);
            s.BarUp(sb, w - sb, 0);
            s.Seg(w - sb - t / 2, xh - h, sb + t / 2, h);
            break;
        case 's':
        case 'S': {
            const double top = ch == 's' ? xh : C;
            w = ch == 's' ? 0.40 : 0.54;
            s.Ring(w / 2, top * 0.74, w / 2 - sb, top * 0.26 + ov, 290, 20);
            s.Ring(w / 2, top * 0.26, w / 2 - sb, top * 0.26 + ov, 110, 200);
            break;
        }
        case 'A':
            w = 0.66;
            s.Seg(sb + t / 2, t / 2, w / 2, C);
            s.Seg(w / 2, C, w - sb - t / 2, t / 2);
            s.BarUp(0.17, w - 0.17, C * 0.3);
            break;
        case 'B':
            w = 0.60;
            s.Stem(sb, 0, C);
            s.BarDown(sb, 0.36, C);
            s.BarUp(sb, 0.36, C * 0.5 - h / 2);
            s.BarUp(sb, 0.36, 0);
            s.Ring(0.36, C * 0.75, 0.18, C * 0.25, 90, 270);
            s.Ring(0.36, C * 0.25, 0.21, C * 0.25, 90, 270);
            break;
        case 'C':
        case 'G':
            w = ch == 'C' ? 0.66 : 0.70;
            s.Ring(w / 2, C / 2, w / 2 - sb, C / 2 + ov, ch == 'C' ? 320 : 340, 40);
            if (ch == 'G') {
                s.BarDown(w / 2, w - sb, C * 0.42);
                s.Stem(w - sb - t, 0, C * 0.42);
            }
            break;
        case 'D':
            w = 0.70;
            s.Stem(sb, 0, C);
            s.BarDown(sb, 0.3, C);
            s.BarUp(sb, 0.3, 0);
            s.Ring(0.3, C / 2, w - sb - 0.3, C / 2, 90, 270);
            break;
        case 'E':
        case 'F':
            w = ch == 'E' ? 0.58 : 0.54;
            s.Stem(sb, 0, C);
            s.BarDown(sb, w - sb, C);
            s.BarUp(sb, w - sb - 0.08, C * 0.5 - h / 2);
            if (ch == 'E') s.BarUp(sb, w - sb, 0);
            foot(sb);
            break;
        case 'H':
            w = 0.72;
            s.Stem(sb, 0, C);
            s.Stem(w - sb - t, 0, C);
            s.BarUp(sb, w - sb, C * 0.5 - h / 2);
            foot(sb);
            foot(w - sb - t);
            break;
        case 'I':
            w = 0.32;
            s.Stem((w - t) / 2, 0, C);
            foot((w - t) / 2);
            if (serif) s.BarDown((w - t) / 2 - 0.7 * t, (w + t) / 2 + 0.7 * t, C);
            break;
        case 'J':
            w = 0.40;
            s.Stem(w - sb - t, C * 0.25, C);
            s.Ring(w / 2, C * 0.25, w / 2 - sb, C * 0.25, 0, 180);
            break;
        case 'K':
            w = 0.66;
            s.Stem(sb, 0, C);
            foot(sb);
            s.Seg(sb + t, C * 0.35, w - sb - t / 2, C);
            s.Seg(sb + t + 0.1, C * 0.5, w - sb, t / 2);
            break;
        case 'L':
            w = 0.56;
            s.Stem(sb, 0, C);
            s.BarUp(sb, w - sb, 0);
            break;
        case 'M':
            w = 0.86;
            s.Stem(sb, 0, C);
            s.Stem(w - sb - t, 0, C);
            s.Seg(sb + t / 2, C, w / 2, t / 2);
            s.Seg(w / 2, t / 2, w - sb - t / 2, C);
            break;
        case 'N':
            w = 0.72;
            s.Stem(sb, 0, C);
            s.Stem(w - sb - t, 0, C);
            s.Seg(sb + t / 2, C, w - sb - t / 2, t / 2);
            break;
        case 'O':
        case 'Q':
            w = 0.74;
            s.Ring(w / 2, C / 2, w / 2 - sb, C / 2 + ov);
            if (ch == 'Q') s.Seg(w * 0.55, C * 0.15, w - sb, -0.05);
            break;
        case 'P':
        case 'R':
            w = ch == 'P' ? 0.58 : 0.62;
            s.Stem(sb, 0, C);
            foot(sb);
            s.BarDown(sb, 0.32, C);
            s.BarUp(sb, 0.32, C * 0.48);
            s.Ring(0.32, C * 0.74, 0.22, C * 0.26, 90, 270);
            if (ch == 'R') s.Seg(0.3, C * 0.48, w - sb - t / 2, t / 2);
            break;
        case 'T':
            w = 0.62;
            s.BarDown(sb, w - sb, C);
            s.Stem((w - t) / 2, 0, C);
            foot((w - t) / 2);
            break;
        case 'U':
            w = 0.70;
            s.Stem(sb, C * 0.3, C);
            s.Stem(w - sb - t, C * 0.3, C);
            s.Ring(w / 2, C * 0.3, w / 2 - sb, C * 0.3 + ov, 0, 180);
            break;
        case 'V':
        case 'Y':
            w = 0.66;
            if (ch == 'V') {
                s.Seg(sb + t / 2, C, w / 2, t / 2);
                s.Seg(w / 2, t / 2, w - sb - t / 2, C);
            } else {
                s.Seg(sb + t / 2, C, w / 2, C * 0.45);
                s.Seg(w / 2, C * 0.45, w - sb - t / 2, C);
                s.Stem((w - t) / 2, 0, C * 0.45);
            }
            break;
        case 'W':
            w = 0.94;
            s.Seg(sb + t / 2, C, 0.26, t / 2);
            s.Seg(0.26, t / 2, w / 2, C * 0.85);
            s.Seg(w / 2, C * 0.85, w - 0.26, t / 2);
            s.Seg(w - 0.26, t / 2, w - sb - t / 2, C);
            break;
        case 'X':
            w = 0.66;
            s.Seg(sb + t / 2, C, w - sb - t / 2, t / 2);
            s.Seg(sb + t / 2, t / 2, w - sb - t / 2, C);
            break;
        case 'Z':
            w = 0.60;
            s.BarDown(sb, w - sb, C);
            s.BarUp(sb, w - sb, 0);
            s.Seg(w - sb - t / 2, C - h, sb + t / 2, h);
            break;
        case '0':
            w = 0.50;
            s.Ring(w / 2, C / 2, w / 2 - sb, C / 2);
            break;
        case '1':
            w = 0.50;
            s.Stem(0.24, 0, C);
            s.Seg(0.24, C - t / 2, 0.1, C - 0.12);
            if (serif) s.BarUp(0.12, 0.38 + t, 0);
            break;
        case '2':
            w = 0.50;
            s.Ring(w / 2, C * 0.72, w / 2 - sb, C * 0.28, 200, 330);
            s.Seg(w - sb - t / 2, C * 0.62, sb + t / 2, h);
            s.BarUp(sb, w - sb, 0);
            break;
        case '3':
            w = 0.50;
            s.Ring(w / 2, C * 0.75, w / 2 - sb - 0.02, C * 0.25, 140, 250);
            s.Ring(w / 2, C * 0.27, w / 2 - sb, C * 0.27, 110, 220);
            break;
        case '4':
            w = 0.50;
            s.Seg(w - 0.15, C, sb + t / 2, C * 0.3);
            s.BarDown(sb, w - sb, C * 0.3);
            s.Stem(w - 0.15 - t / 2, 0, C);
            break;
        case '5':
            w = 0.50;
            s.BarDown(0.12, w - sb, C);
            s.Stem(0.12, C * 0.5, C);
            s.Ring(w / 2, C * 0.3, w / 2 - sb, C * 0.3, 120, 230);
            break;
        case '6':
            w = 0.50;
            s.Ring(w / 2, C * 0.3, w / 2 - sb, C * 0.3);
            s.Ring(w / 2 + 0.04, C * 0.55, w / 2 - sb + 0.04 - 0.02, C * 0.45, 200, 60);
            break;
        case '7':
            w = 0.50;
            s.BarDown(sb, w - sb, C);
            s.Seg(w - sb - t / 2, C - h, 0.18, t / 2);
            break;
        case '8':
            w = 0.50;
            s.Ring(w / 2, C * 0.76, w / 2 - sb - 0.03, C * 0.24);
            s.Ring(w / 2, C * 0.27, w / 2 - sb, C * 0.27);
            break;
        case '9':
            w = 0.50;
            s.Ring(w / 2, C * 0.68, w / 2 - sb, C * 0.32);
            s.Stem(w - sb - t, 0, C * 0.68);
            break;
        case '.':
            w = 0.25;
            s.Dot(w / 2, t * 0.75, t * 0.75);
            break;
        case ',':
            w = 0.25;
            s.Dot(w / 2, t * 0.75, t * 0.75);
            s.Seg(w / 2 + t * 0.3, t * 0.5, w / 2 - 0.05, -0.14);
            break;
        case ':':
            w = 0.25;
            s.Dot(w / 2, t * 0.75, t * 0.75);
            s.Dot(w / 2, xh - t * 0.75, t * 0.75);
            break;
        case '-':
            w = 0.33;
            s.Rect(sb, xh * 0.42, w - sb, xh * 0.42 + std::max(h, t * 0.8));
            break;
        case '/':
            w = 0.30;
            s.Seg(sb + t / 2, -0.05, w - sb - t / 2, asc);
            break;
        case '(':
            w = 0.32;
            s.Ring(w * 0.9, asc * 0.35, w * 0.62, asc * 0.62, 280, 80);
            break;
        case ')':
            w = 0.32;
            s.Ring(w * 0.1, asc * 0.35, w * 0.62, asc * 0.62, 100, 260);
            break;
        default:
            // Every other character looks like an 'x'-height block letter.
            w = 0.5;
            s.Stem(sb, 0, xh);
            s.Stem(w - sb - t, 0, xh);
            s.BarDown(sb, w - sb, xh);
            break;
    }
    return w;
}

class Font {
public:
    // `pixelsPerEm`: the point size at the page's resolution.
    Font(double pixelsPerEm, bool serif, bool bold) : em_(pixelsPerEm), serif_(serif), bold_(bold) {}
    double Em() const { return em_; }
    const Glyph& Get(char ch) const {
        auto it = cache_.find(ch);
        if (it == cache_.end()) it = cache_.emplace(ch, Rasterise(ch)).first;
        return it->second;
    }
    int Width(const std::string& text) const {
        int w = 0;
        for (char ch : text) w += Get(ch).advance;
        return w;
    }
    int Space() const { return Get(' ').advance; }
    int Leading() const { return static_cast<int>(std::lround(em_ * 1.2)); }

private:
    Glyph Rasterise(char ch) const {
        // Regular text strokes are about 0.085 em (2.6 px for 11 pt at
        // 200 dpi), bold ones half as heavy again; serif faces have thinner
        // horizontals.
        const double stem = bold_ ? 0.135 : 0.085;
        const double hair = serif_ ? stem * 0.6 : stem * 0.9;
        Shape shape(stem, hair);
        Metrics m;
        double advance = DescribeGlyph(ch, shape, m, serif_);
        if (bold_) advance += 0.04;
        Glyph g;
        g.advance = std::max(1, static_cast<int>(std::lround(advance * em_)));
        const double top = m.asc + 0.08, bottom = -m.desc - 0.08;
        g.top = static_cast<int>(std::ceil(top * em_));
        g.height = g.top + static_cast<int>(std::ceil(-bottom * em_));
        g.width = g.advance;
        g.bits.assign(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height), 0);
        if (ch == ' ') return g;
        for (int j = 0; j < g.height; ++j) {
            const double y = (g.top - j - 0.5) / em_;
            for (int i = 0; i < g.width; ++i) {
                const double x = (i + 0.5) / em_;
                if (shape.Covers(x, y)) g.bits[static_cast<std::size_t>(j) * g.width + i] = 1;
            }
        }
        return g;
    }

    double em_;
    bool serif_, bold_;
    mutable std::map<char, Glyph> cache_;
};

// Draws `text` with its baseline at `baseline`; returns the pen position after it.
int DrawText(Canvas& c, const Font& font, int x, int baseline, const std::string& text) {
    for (char ch : text) {
        const Glyph& g = font.Get(ch);
        for (int j = 0; j < g.height; ++j) {
            const int y = baseline - g.top + j;
            for (int i = 0; i < g.width; ++i) {
                if (g.bits[static_cast<std::size_t>(j) * g.width + i]) c.Set(x + i, y);
            }
        }
        x += g.advance;
    }
    return x;
}

void DrawTextRight(Canvas& c, const Font& font, int right, int baseline, const std::string& text) {
    DrawText(c, font, right - font.Width(text), baseline, text);
}

// ---------------------------------------------------------------------------
// Text: words with English letter frequencies and word lengths, sentences
// with capitals, commas and full stops, numbers now and then.

class TextSource {
public:
    explicit TextSource(Rng& rng) : rng_(rng) {}

    std::string Word() {
        static const double lengths[] = {0.03, 0.17, 0.21, 0.16, 0.11, 0.09, 0.08, 0.06, 0.04, 0.03, 0.01, 0.01};
        int n = 1;
        double u = rng_.Unit();
        for (double p : lengths) {
            if ((u -= p) < 0) break;
            ++n;
        }
        n = std::min(n, 12);
        std::string w;
        for (int i = 0; i < n; ++i) w += Letter();
        return w;
    }
    std::string Number(int digits) {
        std::string s;
        for (int i = 0; i < digits; ++i) s += static_cast<char>('0' + rng_.Range(i == 0 ? 1 : 0, 9));
        return s;
    }
    std::string Capitalised() {
        std::string w = Word();
        w[0] = static_cast<char>(w[0] - 'a' + 'A');
        return w;
    }
    // Words of `count` sentences, punctuation attached.
    std::vector<std::string> Sentences(int count) {
        std::vector<std::string> words;
        for (int s = 0; s < count; ++s) {
            const int n = rng_.Range(7, 24);
            for (int i = 0; i < n; ++i) {
                std::string w = rng_.Chance(0.03) ? Number(rng_.Range(1, 4)) : Word();
                if (i == 0 && w[0] >= 'a') w[0] = static_cast<char>(w[0] - 'a' + 'A');
                if (i > 0 && rng_.Chance(0.04)) w[0] = static_cast<char>(w[0] - 'a' + 'A');
                if (i == n - 1) {
                    w += '.';
                } else if (rng_.Chance(0.07)) {
                    w += ',';
                }
                words.push_back(w);
            }
        }
        // A name or a number in brackets now and then.
        if (!words.empty() && rng_.Chance(0.3)) words[words.size() / 2] = "(" + Number(rng_.Range(1, 3)) + ")";
        return words;
    }
    std::string Phrase(int words) {
        std::string s;
        for (int i = 0; i < words; ++i) {
            if (i) s += ' ';
            s += i == 0 ? Capitalised() : Word();
        }
        return s;
    }

private:
    char Letter() {
        static const char letters[] = "etaoinshrdlcumwfgypbvkjxqz";
        static const double freq[] = {12.7, 9.1, 8.2, 7.5, 7.0, 6.7, 6.3, 6.1, 6.0, 4.3, 4.0, 2.8, 2.8,
                                      2.4,  2.4, 2.2, 2.0, 2.0, 1.9, 1.5, 1.0, 0.8, 0.15, 0.15, 0.1, 0.07};
        double u = rng_.Unit() * 100.6;
        for (int i = 0; i < 26; ++i) {
            if ((u -= freq[i]) < 0) return letters[i];
        }
        return 'e';
    }
    Rng& rng_;
};

// Sets `words` from `left` to `right`, first baseline at `baseline`, until
// the words or the room run out; returns the baseline after the last line.
int SetParagraph(Canvas& c, const Font& font, const std::vector<std::string>& words, int left, int right, int baseline,
                 int leading, int indent, bool justify, int lastBaseline) {
    std::size_t i = 0;
    bool first = true;
    while (i < words.size() && baseline <= lastBaseline) {
        const int start = left + (first ? indent : 0);
        std::size_t j = i;
        int width = 0;
        while (j < words.size()) {
            const int w = font.Width(words[j]) + (j > i ? font.Space() : 0);
            if (start + width + w > right && j > i) break;
            width += w;
            ++j;
        }
        const bool last = j == words.size();
        const int gaps = static_cast<int>(j - i) - 1;
        const int extra = justify && !last && gaps > 0 ? right - start - width : 0;
        int x = start;
        for (std::size_t k = i; k < j; ++k) {
            x = DrawText(c, font, x, baseline, words[k]);
            if (k + 1 < j) {
                const int gap = gaps > 0 ? extra * static_cast<int>(k - i + 1) / gaps - extra * static_cast<int>(k - i) / gaps
                                         : 0;
                x += font.Space() + gap;
            }
        }
        i = j;
        first = false;
        baseline += leading;
    }
    return baseline;
}

// A handwritten signature: a pen wandering along a baseline in loops of
// varying height, with a flourish underneath.
void Signature(Canvas& c, Rng& rng, int x0, int baseline, int width, int height, double pen) {
    const int loops = rng.Range(5, 9);
    const double phase = rng.Between(0, 2 * kPi);
    const double slant = rng.Between(0.15, 0.35);
    double px = x0, py = baseline;
    const int steps = width * 3;
    for (int i = 1; i <= steps; ++i) {
        const double u = static_cast<double>(i) / steps;
        const double envelope = 0.55 + 0.45 * std::sin(u * kPi * 1.3 + phase * 0.2);
        const double a = u * loops * 2 * kPi + phase;
        const double y = baseline - height * 0.5 * envelope * (1 - std::cos(a)) * (0.6 + 0.4 * std::sin(a * 0.37));
        const double x = x0 + u * width + std::sin(a) * height * 0.18 + (baseline - y) * slant;
        c.Line(px, py, x, y, pen);
        px = x;
        py = y;
    }
    // The flourish: a long shallow stroke back under the name.
    const double fx0 = x0 + width * rng.Between(0.1, 0.3), fx1 = x0 + width * rng.Between(0.9, 1.1);
    double lx = fx1, ly = baseline + height * 0.15;
    for (int i = 1; i <= 40; ++i) {
        const double u = i / 40.0;
        const double x = fx1 + (fx0 - fx1) * u;
        const double y = baseline + height * (0.15 + 0.12 * std::sin(u * kPi));
        c.Line(lx, ly, x, y, pen);
        lx = x;
        ly = y;
    }
}

// Millimetres and points to pixels at the layout resolution.
struct Units {
    double dpi;
    int Mm(double mm) const { return static_cast<int>(std::lround(mm * dpi / 25.4)); }
    double Pt(double pt) const { return pt * dpi / 72.0; }
    // A printed hairline: never under one pixel.
    int Rule(double mm) const { return std::max(1, Mm(mm)); }
};

// ---------------------------------------------------------------------------
// The four pages.

void DrawLetter(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font body(u.Pt(11), true, false), bold(u.Pt(11), true, true), head(u.Pt(20), false, true),
        small(u.Pt(8), false, false);
    const int left = u.Mm(25), right = c.Width() - u.Mm(20);
    // Letterhead: the sender's name, address lines on the right, a rule.
    int y = u.Mm(22);
    DrawText(c, head, left, y, text.Capitalised() + " " + text.Capitalised());
    int ay = u.Mm(12);
    for (int i = 0; i < 4; ++i, ay += small.Leading())
        DrawTextRight(c, small, right, ay, text.Phrase(rng.Range(2, 4)) + " " + text.Number(rng.Range(2, 5)));
    y = u.Mm(28);
    c.Fill(left, y, right - left, u.Rule(0.3));
    // Date, recipient, subject, salutation.
    y += u.Mm(14);
    DrawTextRight(c, body, right, y, text.Number(2) + " " + text.Capitalised() + " 20" + text.Number(2));
    const int leading = body.Leading();
    for (int i = 0; i < 4; ++i, y += leading) {
        DrawText(c, body, left, y, i == 2 ? text.Number(5) + " " + text.Capitalised() : text.Phrase(rng.Range(1, 3)));
    }
    y += leading;
    DrawText(c, bold, left, y, "Re: " + text.Phrase(rng.Range(3, 6)));
    y += 2 * leading;
    DrawText(c, body, left, y, "Dear " + text.Capitalised() + " " + text.Capitalised() + ",");
    y += 2 * leading;
    // Body paragraphs, ragged right, a blank line between them, down to
    // about two thirds of the page.
    const int bodyEnd = c.Height() * 68 / 100;
    while (y < bodyEnd) {
        y = SetParagraph(c, body, text.Sentences(rng.Range(2, 5)), left, right, y, leading, 0, false, bodyEnd);
        y += leading;
    }
    DrawText(c, body, left, y, "Yours sincerely,");
    y += u.Mm(20);
    Signature(c, rng, left + u.Mm(2), y - u.Mm(3), u.Mm(45), u.Mm(12), std::max(1.5, u.Mm(0.35) * 1.0));
    y += leading;
    DrawText(c, body, left, y, text.Capitalised() + " " + text.Capitalised());
    y += leading;
    DrawText(c, body, left, y, text.Phrase(2));
    // Footer.
    const int fy = c.Height() - u.Mm(14);
    c.Fill(left, fy - small.Leading(), right - left, u.Rule(0.2));
    DrawText(c, small, left, fy, text.Phrase(6) + " " + text.Number(6) + " " + text.Phrase(5));
}

// A short note with wide margins: a heading, a few lines of text in the
// top third of the page, a signature; the rest is white.
void DrawMemo(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font body(u.Pt(12), true, false), head(u.Pt(14), false, true);
    const int left = u.Mm(50), right = c.Width() - u.Mm(50);
    int y = u.Mm(45);
    DrawText(c, head, left, y, "Memo: " + text.Phrase(rng.Range(2, 4)));
    y += 2 * body.Leading();
    const int leading = body.Leading();
    for (int p = 0; p < 2; ++p) {
        y = SetParagraph(c, body, text.Sentences(rng.Range(1, 3)), left, right, y, leading, 0, false, c.Height() / 3);
        y += leading;
    }
    Signature(c, rng, left + u.Mm(2), y + u.Mm(8), u.Mm(40), u.Mm(10), std::max(1.5, u.Mm(0.35) * 1.0));
}

// A near-blank page: a header line with a date, a page number at the foot.
void DrawNearBlank(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font small(u.Pt(8), false, false);
    const int left = u.Mm(20), right = c.Width() - u.Mm(20);
    DrawText(c, small, left, u.Mm(12), text.Phrase(3));
    DrawTextRight(c, small, right, u.Mm(12), text.Number(2) + "." + text.Number(2) + ".20" + text.Number(2));
    DrawTextRight(c, small, right, c.Height() - u.Mm(12), "Page " + text.Number(1));
}

void DrawForm(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font title(u.Pt(16), false, true), label(u.Pt(6.5), false, false), entry(u.Pt(10), false, false),
        section(u.Pt(9), false, true), small(u.Pt(7.5), false, false), tiny(u.Pt(6), false, false);
    const int left = u.Mm(12), right = c.Width() - u.Mm(12), width = right - left;
    const int line = u.Rule(0.25), heavy = u.Rule(0.6);
    int y = u.Mm(18);
    DrawText(c, title, left, y, text.Phrase(4));
    DrawTextRight(c, tiny, right, u.Mm(10), "Form " + text.Number(3) + "-" + text.Number(2));
    y += u.Mm(3);
    c.Fill(left, y, width, heavy);
    y += u.Mm(4);

    auto sectionBar = [&](const std::string& name) {
        const int h = u.Mm(6);
        Tint(c, left, y, width, h, 0.2);
        c.Frame(left, y, width, h, line);
        DrawText(c, section, left + u.Mm(2), y + h - u.Mm(1.8), name);
        y += h;
    };

    // Section 1: rows of labelled fields, most of them typed in.
    sectionBar("1 " + text.Phrase(3));
    for (int row = 0; row < 6; ++row) {
        const int h = u.Mm(10);
        const int cells = rng.Range(2, 4);
        std::vector<int> edges{left};
        for (int k = 1; k < cells; ++k)
            edges.push_back(left + width * k / cells + rng.Range(-width / 12, width / 12));
        edges.push_back(right);
        c.Fill(left, y + h - line, width, line);
        for (int k = 0; k < cells; ++k) {
            c.Fill(edges[k], y, line, h);
            DrawText(c, label, edges[k] + u.Mm(1), y + u.Mm(2.8), text.Phrase(rng.Range(1, 3)));
            if (rng.Chance(0.75)) {
                std::string value = rng.Chance(0.3) ? text.Number(rng.Range(4, 9)) : text.Phrase(rng.Range(1, 4));
                while (!value.empty() && entry.Width(value) > edges[k + 1] - edges[k] - u.Mm(3)) value.pop_back();
                DrawText(c, entry, edges[k] + u.Mm(2), y + h - u.Mm(2), value);
            }
        }
        c.Fill(right - line, y, line, h);
        y += h;
    }
    y += u.Mm(4);

    // Section 2: check boxes, some ticked with a cross.
    sectionBar("2 " + text.Phrase(2));
    y += u.Mm(3);
    const int box = u.Mm(3.5);
    for (int row = 0; row < 4; ++row) {
        for (int k = 0; k < 4; ++k) {
            const int x = left + u.Mm(2) + k * width / 4;
            c.Frame(x, y, box, box, line);
            if (rng.Chance(0.35)) {
                const double p = std::max(1.2, u.Mm(0.35) * 1.0);
                c.Line(x + line + 1, y + line + 1, x + box - line - 2, y + box - line - 2, p);
                c.Line(x + box - line - 2, y + line + 1, x + line + 1, y + box - line - 2, p);
            }
            DrawText(c, small, x + box + u.Mm(2), y + box - 1, text.Phrase(rng.Range(1, 3)));
        }
        y += u.Mm(6.5);
    }
    y += u.Mm(2);

    // Section 3: a table with a tinted header and ruled rows, the first
    // rows filled in.
    sectionBar("3 " + text.Phrase(2));
    const double colMm[] = {12, 0, 22, 26, 28};
    std::vector<int> cols{left};
    {
        int fixed = 0;
        for (double mm : colMm) fixed += u.Mm(mm);
        for (double mm : colMm) cols.push_back(cols.back() + (mm > 0 ? u.Mm(mm) : width - fixed));
        cols.back() = right;
    }
    const int headH = u.Mm(6), rowH = u.Mm(7), rows = 12, filled = rng.Range(5, 11);
    Tint(c, left, y, width, headH, 0.12);
    for (std::size_t k = 0; k + 1 < cols.size(); ++k)
        DrawText(c, section, cols[k] + u.Mm(1.5), y + headH - u.Mm(1.8), text.Capitalised().substr(0, 7));
    const int tableTop = y;
    y += headH;
    c.Fill(left, y, width, line);
    for (int r = 0; r < rows; ++r) {
        if (r < filled) {
            const int base = y + rowH - u.Mm(2);
            DrawText(c, entry, cols[0] + u.Mm(2), base, std::to_string(r + 1));
            std::string item = text.Phrase(rng.Range(2, 6));
            while (entry.Width(item) > cols[2] - cols[1] - u.Mm(3)) item.pop_back();
            DrawText(c, entry, cols[1] + u.Mm(2), base, item);
            DrawTextRight(c, entry, cols[3] - u.Mm(2), base, text.Number(rng.Range(1, 3)));
            DrawTextRight(c, entry, cols[4] - u.Mm(2), base, text.Number(rng.Range(1, 3)) + "." + text.Number(2));
            DrawTextRight(c, entry, cols[5] - u.Mm(2), base, text.Number(rng.Range(2, 4)) + "." + text.Number(2));
        }
        y += rowH;
        c.Fill(left, y, width, line);
    }
    for (int x : cols) c.Fill(std::min(x, right - line), tableTop, line, y - tableTop + line);
    y += u.Mm(6);

    // Section 4: a declaration, a signature box and a date in comb fields.
    sectionBar("4 " + text.Phrase(2));
    y += u.Mm(5);
    y = SetParagraph(c, small, text.Sentences(3), left, right, y, small.Leading(), 0, false, c.Height());
    // The signature box takes what is left above the footer.
    const int sigH = std::min(u.Mm(22), c.Height() - u.Mm(14) - y);
    const int sigW = width * 55 / 100;
    c.Frame(left, y, sigW, sigH, line);
    DrawText(c, label, left + u.Mm(1), y + u.Mm(2.8), "Signature");
    Signature(c, rng, left + u.Mm(8), y + sigH - u.Mm(6), sigW / 2, u.Mm(11), std::max(1.5, u.Mm(0.35) * 1.0));
    const int combX = left + sigW + u.Mm(8), comb = u.Mm(5);
    DrawText(c, label, combX, y + u.Mm(2.8), "Date");
    const std::string date = text.Number(2) + text.Number(2) + "20" + text.Number(2);
    for (int k = 0; k < 8; ++k) {
        const int x = combX + k * comb;
        c.Frame(x, y + u.Mm(5), comb + line, comb + u.Mm(1), line);
        DrawText(c, entry, x + u.Mm(1.2), y + u.Mm(5) + comb - u.Mm(0.5), std::string(1, date[k]));
    }
    DrawText(c, tiny, left, c.Height() - u.Mm(8), text.Phrase(9) + " " + text.Number(7));
    DrawTextRight(c, tiny, right, c.Height() - u.Mm(8), "Page 1 of 1");
}

// A smooth greyscale picture (0 white .. 1 black): sky, sun, hills with a
// textured slope, a shaded ball, a dark post; for the dithered region.
class Photo {
public:
    explicit Photo(Rng& rng)
        : sunX_(rng.Between(0.6, 0.85)), sunY_(rng.Between(0.15, 0.3)), ballX_(rng.Between(0.25, 0.45)),
          ballY_(rng.Between(0.55, 0.7)), ballR_(rng.Between(0.12, 0.18)), hill_(rng.Between(0, 6)),
          postX_(rng.Between(0.05, 0.15)) {}
    double Darkness(double x, double y) const {
        const double ground = 0.55 + 0.07 * std::sin(5 * x + hill_) + 0.03 * std::sin(17 * x + 2 * hill_);
        double d = 0.12 + 0.3 * y;  // the sky darkens towards the horizon
        const double sx = x - sunX_, sy = y - sunY_;
        const double sun = std::sqrt(sx * sx + sy * sy);
        if (sun < 0.07) d = 0.02;
        else if (sun < 0.14) d = std::min(d, 0.02 + (sun - 0.07) * 2.0);
        if (y > ground) {
            d = 0.45 + 0.25 * (y - ground) / (1 - ground) + 0.12 * std::sin(40 * x + 9 * y) * std::sin(23 * y);
        }
        const double bx = (x - ballX_) / ballR_, by = (y - ballY_) / ballR_;
        const double r2 = bx * bx + by * by;
        if (r2 < 1) {
            // Lambert shading with the light from the sun's side.
            const double nz = std::sqrt(1 - r2);
            const double lx = 0.5, ly = -0.5, lz = 0.7;
            const double lambert = std::max(0.0, (bx * lx + by * ly + nz * lz) / std::sqrt(lx * lx + ly * ly + lz * lz));
            d = 0.9 - 0.8 * lambert;
        }
        if (std::abs(x - postX_) < 0.015 && y > 0.35) d = 0.92;
        return std::clamp(d, 0.0, 1.0);
    }

private:
    double sunX_, sunY_, ballX_, ballY_, ballR_, hill_, postX_;
};

void DitherPhoto(Canvas& c, const Photo& photo, int x0, int y0, int w, int h) {
    static const auto bayer = BayerMatrix<8>();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double d = photo.Darkness(static_cast<double>(x) / w, static_cast<double>(y) / h);
            if (d * 64 > bayer[(y0 + y) % 8][(x0 + x) % 8] + 0.5) c.Set(x0 + x, y0 + y);
        }
    }
}

// A 1D bar code in the Code 128 manner: symbols of 11 modules, three bars
// and three spaces of 1..4 modules each, between quiet zones, with its
// digits under it. Returns the bottom of the digits.
int BarCode(Canvas& c, Rng& rng, TextSource& text, const Font& font, int x0, int y0, int module, int height) {
    int x = x0;
    auto symbol = [&]() {
        // Six widths of at least one module summing to eleven.
        int widths[6] = {1, 1, 1, 1, 1, 1};
        for (int k = 0; k < 5; ++k) {
            int i = rng.Range(0, 5);
            while (widths[i] == 4) i = (i + 1) % 6;
            ++widths[i];
        }
        for (int k = 0; k < 6; ++k) {
            if (k % 2 == 0) c.Fill(x, y0, widths[k] * module, height);
            x += widths[k] * module;
        }
    };
    const int symbols = rng.Range(14, 20);
    for (int i = 0; i < symbols; ++i) symbol();
    c.Fill(x, y0, 2 * module, height);  // the stop bar
    x += 2 * module;
    const std::string digits = text.Number(13);
    const int base = y0 + height + static_cast<int>(font.Em());
    DrawText(c, font, x0 + (x - x0 - font.Width(digits)) / 2, base, digits);
    return base;
}

void DrawMixed(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font title(u.Pt(18), false, true), body(u.Pt(10), true, false), caption(u.Pt(8), false, false),
        small(u.Pt(7), false, false);
    const int left = u.Mm(18), right = c.Width() - u.Mm(18), width = right - left;
    const int leading = body.Leading();
    int y = u.Mm(24);
    DrawText(c, title, left, y, text.Phrase(5));
    y += u.Mm(10);
    // An opening text block across the page.
    for (int p = 0; p < 2; ++p) {
        y = SetParagraph(c, body, text.Sentences(rng.Range(3, 5)), left, right, y, leading, u.Mm(5), true,
                         u.Mm(24) + u.Mm(80));
    }
    y += u.Mm(3);
    // The photograph on the left, a text column beside it.
    const int photoW = width * 58 / 100, photoH = photoW * 3 / 4;
    const Photo photo(rng);
    DitherPhoto(c, photo, left, y, photoW, photoH);
    int colY = y + static_cast<int>(body.Em());
    while (colY < y + photoH) {
        colY = SetParagraph(c, body, text.Sentences(rng.Range(2, 4)), left + photoW + u.Mm(6), right, colY, leading,
                            u.Mm(4), true, y + photoH);
    }
    y += photoH + u.Mm(5);
    DrawText(c, caption, left, y, "Figure 1. " + text.Phrase(rng.Range(5, 9)) + ".");
    y += u.Mm(8);
    const int textEnd = c.Height() - u.Mm(62);
    while (y <= textEnd) {
        y = SetParagraph(c, body, text.Sentences(rng.Range(3, 5)), left, right, y, leading, u.Mm(5), true, textEnd);
    }
    // Bottom: a bar code on the left, a patch of noise on the right (a
    // stamp or a smudge the page picked up), a page number.
    y = c.Height() - u.Mm(50);
    const int module = std::max(1, u.Mm(0.25));
    BarCode(c, rng, text, caption, left, y, module, u.Mm(15));
    const int patch = u.Mm(28);
    for (int py = 0; py < patch; ++py) {
        for (int px = 0; px < patch; ++px) {
            if (rng.Chance(0.5)) c.Set(right - patch + px, y + py);
        }
    }
    DrawTextRight(c, small, right, c.Height() - u.Mm(10), text.Number(2));
}

// Scanner damage: a slight rotation, ragged stroke edges, dust, and the
// dark shadow of a book's gutter along the left edge.
void Rotate(Canvas& c, double degrees) {
    const std::vector<std::uint8_t> src = c.Pixels();
    const double a = degrees * kPi / 180, ca = std::cos(a), sa = std::sin(a);
    const double cx = c.Width() / 2.0, cy = c.Height() / 2.0;
    for (int y = 0; y < c.Height(); ++y) {
        for (int x = 0; x < c.Width(); ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const int sx = static_cast<int>(std::floor(cx + dx * ca + dy * sa));
            const int sy = static_cast<int>(std::floor(cy - dx * sa + dy * ca));
            const bool black = sx >= 0 && sy >= 0 && sx < c.Width() && sy < c.Height() &&
                               src[static_cast<std::size_t>(sy) * c.Width() + sx];
            c.At(x, y) = black ? 1 : 0;
        }
    }
}

void RoughenEdges(Canvas& c, Rng& rng, double p) {
    const std::vector<std::uint8_t> src = c.Pixels();
    const int w = c.Width();
    for (int y = 1; y + 1 < c.Height(); ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            const int v = src[i];
            const bool edge = src[i - 1] != v || src[i + 1] != v || src[i - w] != v || src[i + w] != v;
            if (edge && rng.Chance(p)) c.At(x, y) = static_cast<std::uint8_t>(1 - v);
        }
    }
}

void DrawScan(Canvas& c, Rng& rng, const Units& u) {
    TextSource text(rng);
    const Font body(u.Pt(11), true, false), head(u.Pt(14), true, true), small(u.Pt(8), true, false);
    const int left = u.Mm(26), right = c.Width() - u.Mm(20);
    const int leading = body.Leading();
    // A book page: running head with a rule, a chapter heading, justified
    // paragraphs with first-line indents down to the bottom margin, a folio.
    int y = u.Mm(16);
    DrawText(c, small, left, y, text.Phrase(4));
    DrawTextRight(c, small, right, y, text.Number(3));
    c.Fill(left, y + u.Mm(2), right - left, u.Rule(0.2));
    y += u.Mm(16);
    DrawText(c, head, left, y, "Chapter " + text.Number(1) + "  " + text.Phrase(3));
    y += u.Mm(10);
    const int last = c.Height() - u.Mm(22);
    while (y <= last) y = SetParagraph(c, body, text.Sentences(rng.Range(3, 7)), left, right, y, leading, u.Mm(5), true, last);
    Rotate(c, (rng.Chance(0.5) ? 1 : -1) * rng.Between(0.3, 0.7));
    RoughenEdges(c, rng, 0.15);
    // The gutter shadow: solid at the edge, thinning into scattered dots, its
    // width drifting down the page.
    const int band = u.Mm(rng.Between(8, 12));
    const double drift = rng.Between(0, 2 * kPi);
    for (int yy = 0; yy < c.Height(); ++yy) {
        const double local = band * (0.85 + 0.15 * std::sin(yy * 6.0 / c.Height() + drift));
        for (int x = 0; x < static_cast<int>(local); ++x) {
            const double f = x / local;
            const double p = f < 0.35 ? 1.0 : std::pow((1 - f) / 0.65, 1.6);
            if (rng.Chance(p)) c.Set(x, yy);
        }
    }
    // Dust: flecks of a pixel or a few, some clumped, and short hairs.
    const double areaIn2 = (c.Width() / u.dpi) * (c.Height() / u.dpi);
    const int flecks = static_cast<int>(areaIn2 * 9);
    const double px = u.dpi / 200;
    for (int i = 0; i < flecks; ++i) {
        const double sx = rng.Between(0, c.Width()), sy = rng.Between(0, c.Height());
        const double r = rng.Chance(0.8) ? rng.Between(0.5, 1.2) * px : rng.Between(1.2, 2.5) * px;
        c.Disc(sx, sy, r);
        if (rng.Chance(0.15)) {
            for (int k = 0; k < rng.Range(2, 6); ++k)
                c.Disc(sx + rng.Between(-4, 4) * px, sy + rng.Between(-4, 4) * px, rng.Between(0.5, 1.0) * px);
        }
    }
    for (int i = 0; i < static_cast<int>(areaIn2 / 12); ++i) {
        double hx = rng.Between(0, c.Width()), hy = rng.Between(0, c.Height());
        double dir = rng.Between(0, 2 * kPi);
        const int steps = rng.Range(10, 40);
        for (int k = 0; k < steps; ++k) {
            const double nx = hx + std::cos(dir) * px * 2, ny = hy + std::sin(dir) * px * 2;
            c.Line(hx, hy, nx, ny, px);
            hx = nx;
            hy = ny;
            dir += rng.Between(-0.3, 0.3);
        }
    }
}

}  // namespace

double Page::Blackness() const {
    std::size_t black = 0;
    for (std::uint8_t b : bits) black += static_cast<std::size_t>(__builtin_popcount(b));
    return static_cast<double>(black) / (static_cast<double>(format.width) * format.length);
}

const char* KindName(PageKind kind) {
    switch (kind) {
        case PageKind::Letter:
            return "letter";
        case PageKind::Form:
            return "form";
        case PageKind::Mixed:
            return "mixed";
        case PageKind::Scan:
            return "scan";
        case PageKind::Memo:
            return "memo";
        case PageKind::NearBlank:
            return "blank";
    }
    return "?";
}

Page MakePage(PageKind kind, const PageFormat& format, std::uint64_t seed) {
    // Each kind and format draws from its own stream of the seed.
    Rng rng(seed * 0x100000001B3ull + static_cast<std::uint64_t>(kind) * 7919 + format.width);
    Canvas c(static_cast<int>(format.width), static_cast<int>(format.length));
    const Units u{format.layoutDpi};
    switch (kind) {
        case PageKind::Letter:
            DrawLetter(c, rng, u);
            break;
        case PageKind::Form:
            DrawForm(c, rng, u);
            break;
        case PageKind::Mixed:
            DrawMixed(c, rng, u);
            break;
        case PageKind::Scan:
            DrawScan(c, rng, u);
            break;
        case PageKind::Memo:
            DrawMemo(c, rng, u);
            break;
        case PageKind::NearBlank:
            DrawNearBlank(c, rng, u);
            break;
    }
    Page page;
    page.name = std::string(KindName(kind)) + "-" + format.label;
    page.format = format;
    page.rowBytes = (format.width + 7) / 8;
    page.bits.assign(static_cast<std::size_t>(page.rowBytes) * format.length, 0);
    for (std::uint32_t y = 0; y < format.length; ++y) {
        std::uint8_t* row = page.bits.data() + static_cast<std::size_t>(y) * page.rowBytes;
        for (std::uint32_t x = 0; x < format.width; ++x) {
            if (c.At(static_cast<int>(x), static_cast<int>(y))) row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        }
    }
    return page;
}

}  // namespace tvbench
