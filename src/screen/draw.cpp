#include "screen/draw.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "screen/font.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

namespace {

// The pixels an operation draws on, with the rows it wrote tracked for the screen's marks.
struct Surface {
    std::uint32_t* pixels = nullptr;
    long long stride = 0;  // in pixels
    int width = 0;
    int height = 0;
    bool isScreen = false;
    std::uint8_t* redrawn = nullptr;  // the screen's per-row "pixels differ" marks
    ScreenState::LastPut* lastPut = nullptr;
    int firstRow = INT_MAX;
    int lastRow = -1;

    std::uint32_t* row(long long y) const { return pixels + y * stride; }
    void touch(int y0, int y1) {
        firstRow = std::min(firstRow, y0);
        lastRow = std::max(lastRow, y1);
    }
    void redraw(long long y) {
        if (!redrawn) return;
        redrawn[y] = 1;
        lastPut->forgetRow(y);
    }
    // Stores one pixel, noting whether the window will have to show something new.
    void store(std::uint32_t* pixel, long long y, std::uint32_t colour) {
        if (*pixel == colour) return;
        *pixel = colour;
        redraw(y);
    }
    void plot(long long x, long long y, std::uint32_t colour) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        store(row(y) + x, y, colour);
        touch(int(y), int(y));
    }
};

// Opens a drawing surface. For the screen this takes the screen lock (nested under a frame's
// lockScreen if there is one); close() releases it and marks what was written.
class Target {
  public:
    explicit Target(Image* image) {
        if (image) {
            s_.pixels = imageRow(image, 0);
            s_.stride = image->pitch / 4;
            s_.width = int(image->width);
            s_.height = int(image->height);
            valid_ = true;
            return;
        }
        lockScreen();
        ScreenState& st = screenState();
        s_.isScreen = true;
        if (st.hasMode) {
            s_.pixels = st.pixels.data();
            s_.redrawn = st.redrawn.data();
            s_.lastPut = &st.lastPut;
            s_.stride = st.width;
            s_.width = st.width;
            s_.height = st.height;
            valid_ = true;
        }
    }
    ~Target() {
        if (!s_.isScreen) return;
        if (s_.lastRow >= 0) markRows(s_.firstRow, s_.lastRow);
        releaseScreen();
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool valid() const { return valid_; }
    Surface& surface() { return s_; }

  private:
    Surface s_;
    bool valid_ = false;
};

// Rounds to the nearest pixel, halves away from zero. Values beyond the 32-bit range (and NaN)
// are pinned so that far-off coordinates clip instead of overflowing.
long long toPixel(float v) {
    if (std::isnan(v)) return 0;
    if (v >= float(INT_MAX)) return INT_MAX;
    if (v <= float(INT_MIN)) return INT_MIN;
    return std::llround(v);
}

bool styleBit(std::uint16_t style, long long k) {
    return (style >> (15 - (k & 15))) & 1;
}

// A horizontal run of row y from x0 to x1 (x0 <= x1); k0 is the style index of x0.
void hspan(Surface& s, long long y, long long x0, long long x1, std::uint32_t colour,
           std::uint16_t style, long long k0) {
    if (y < 0 || y >= s.height) return;
    long long a = std::max(x0, 0LL), b = std::min(x1, (long long)s.width - 1);
    if (a > b) return;
    std::uint32_t* row = s.row(y);
    if (style == kSolid) {
        std::uint32_t *begin = row + a, *end = row + b + 1;
        if (!s.redrawn ||
            std::find_if(begin, end, [colour](std::uint32_t p) { return p != colour; }) != end) {
            std::fill(begin, end, colour);
            s.redraw(y);
        }
    } else {
        for (long long x = a; x <= b; ++x)
            if (styleBit(style, k0 + (x - x0))) s.store(row + x, y, colour);
    }
    s.touch(int(y), int(y));
}

// A vertical run of column x from y0 to y1 (y0 <= y1); k0 is the style index of y0.
void vspan(Surface& s, long long x, long long y0, long long y1, std::uint32_t colour,
           std::uint16_t style, long long k0) {
    if (x < 0 || x >= s.width) return;
    long long a = std::max(y0, 0LL), b = std::min(y1, (long long)s.height - 1);
    if (a > b) return;
    bool any = false;
    int first = 0, last = 0;
    for (long long y = a; y <= b; ++y) {
        if (!styleBit(style, k0 + (y - y0))) continue;
        s.store(s.row(y) + x, y, colour);
        if (!any) first = int(y);
        last = int(y);
        any = true;
    }
    if (any) s.touch(first, last);
}

// Minor-axis offset of pixel i of a Bresenham line whose error starts at 2 * minor - major:
// the minor coordinate steps whenever the running error is >= 0, which works out to
// floor((2 * minor * i + major) / (2 * major)).
long long minorOffset(long long i, long long major, long long minor) {
    return (long long)(((__int128)2 * minor * i + major) / ((__int128)2 * major));
}

void bresenham(Surface& s, long long x1, long long y1, long long x2, long long y2,
               std::uint32_t colour, std::uint16_t style) {
    long long dx = x2 - x1, dy = y2 - y1;
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    long long major = xMajor ? std::llabs(dx) : std::llabs(dy);
    long long minor = xMajor ? std::llabs(dy) : std::llabs(dx);
    long long majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    long long minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
    long long majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
    long long majorLimit = (xMajor ? s.width : s.height) - 1;
    long long minorLimit = (xMajor ? s.height : s.width) - 1;

    // Pixel i lies at major = majorStart + majorStep * i, minor = minorStart + minorStep * d(i).
    // Find the steps whose pixels are visible, so a huge line costs only its visible part.
    auto clampRange = [](long long start, long long step, long long limit, long long n,
                         long long* lo, long long* hi) {
        // Values i in 0..n with 0 <= start + step * i <= limit.
        long long a = step > 0 ? -start : start - limit;
        long long b = step > 0 ? limit - start : start;
        *lo = std::max(*lo, a);
        *hi = std::min(*hi, std::min(b, n));
    };
    long long lo = 0, hi = major;
    clampRange(majorStart, majorStep, majorLimit, major, &lo, &hi);
    if (lo > hi) return;
    // d(i) never decreases, so the steps with a visible minor coordinate form one interval too.
    long long dLo = minorStep > 0 ? -minorStart : minorStart - minorLimit;
    long long dHi = minorStep > 0 ? minorLimit - minorStart : minorStart;
    auto firstAtLeast = [&](long long target, long long a, long long b) {
        while (a < b) {
            long long mid = a + (b - a) / 2;
            if (minorOffset(mid, major, minor) >= target)
                b = mid;
            else
                a = mid + 1;
        }
        return a;
    };
    lo = firstAtLeast(dLo, lo, hi + 1);
    hi = firstAtLeast(dHi + 1, lo, hi + 1) - 1;
    if (lo > hi) return;

    long long d = minorOffset(lo, major, minor);
    // The error term at pixel lo, worked out wide: a line across the whole coordinate range has
    // products past 64 bits here, although the term itself stays within 2 * major.
    long long error = (long long)((__int128)2 * minor * (lo + 1) - major - (__int128)2 * major * d);
    for (long long i = lo; i <= hi; ++i) {
        if (styleBit(style, i)) {
            long long m = majorStart + majorStep * i, n = minorStart + minorStep * d;
            if (xMajor)
                s.plot(m, n, colour);
            else
                s.plot(n, m, colour);
        }
        if (error >= 0) {
            ++d;
            error -= 2 * major;
        }
        error += 2 * minor;
    }
}

void outline(Surface& s, long long x1, long long y1, long long x2, long long y2,
             std::uint32_t colour, std::uint16_t style) {
    long long w = x2 - x1 + 1, h = y2 - y1 + 1;
    // The style runs on around the perimeter: bottom, top, right, left.
    hspan(s, y2, x1, x2, colour, style, 0);
    hspan(s, y1, x1, x2, colour, style, w);
    vspan(s, x2, y1, y2, colour, style, 2 * w);
    vspan(s, x1, y1, y2, colour, style, 2 * w + h);
}

}  // namespace

void drawLine(Image* target, float fx1, float fy1, float fx2, float fy2, std::uint32_t colour,
              int kind, std::uint16_t style, int coordMode) {
    Target t(target);
    if (!t.valid()) return;
    Surface& s = t.surface();
    long long x1 = toPixel(fx1), y1 = toPixel(fy1);
    long long x2 = coordMode == kRelative ? toPixel(fx1 + fx2) : toPixel(fx2);
    long long y2 = coordMode == kRelative ? toPixel(fy1 + fy2) : toPixel(fy2);

    if (kind == kLine) {
        if (x1 == x2) {
            vspan(s, x1, std::min(y1, y2), std::max(y1, y2), colour, style, 0);
        } else if (y1 == y2) {
            hspan(s, y1, std::min(x1, x2), std::max(x1, x2), colour, style, 0);
        } else {
            bresenham(s, x1, y1, x2, y2, colour, style);
        }
        return;
    }
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (x2 < 0 || y2 < 0 || x1 >= s.width || y1 >= s.height) return;
    if (kind == kFilledBox) {
        long long top = std::max(y1, 0LL), bottom = std::min(y2, (long long)s.height - 1);
        for (long long y = top; y <= bottom; ++y) hspan(s, y, x1, x2, colour, kSolid, 0);
    } else if (kind == kBoxOutline) {
        outline(s, x1, y1, x2, y2, colour, style);
    }
}

void putImage(Image* target, float x, float y, const Image* source) {
    if (!source) return;
    putImage(target, x, y, source, 0, 0, float(source->width - 1), float(source->height - 1),
             kAbsolute);
}

void putImage(Image* target, float fx, float fy, const Image* source, float fx1, float fy1,
              float fx2, float fy2, int coordMode) {
    if (!source) return;
    long long sx1 = toPixel(fx1), sy1 = toPixel(fy1);
    long long sx2 = coordMode == kRelative ? toPixel(fx1 + fx2) : toPixel(fx2);
    long long sy2 = coordMode == kRelative ? toPixel(fy1 + fy2) : toPixel(fy2);
    if (sx1 > sx2) std::swap(sx1, sx2);
    if (sy1 > sy2) std::swap(sy1, sy2);
    const long long sw = source->width, sh = source->height;
    sx1 = std::clamp(sx1, 0LL, sw - 1);
    sx2 = std::clamp(sx2, 0LL, sw - 1);
    sy1 = std::clamp(sy1, 0LL, sh - 1);
    sy2 = std::clamp(sy2, 0LL, sh - 1);

    Target t(target);
    if (!t.valid()) return;
    Surface& s = t.surface();
    long long dx = toPixel(fx), dy = toPixel(fy);
    long long columns = sx2 - sx1 + 1, rows = sy2 - sy1 + 1;
    // Cut off what falls left of or above the target, moving the source start along.
    if (dx < 0) {
        sx1 -= dx;
        columns += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy1 -= dy;
        rows += dy;
        dy = 0;
    }
    columns = std::min(columns, s.width - dx);
    rows = std::min(rows, s.height - dy);
    if (columns <= 0 || rows <= 0) return;
    ScreenState::LastPut put;
    if (s.isScreen) {
        put =
            ScreenState::LastPut{true, source, sx1, sy1, dx, dy, columns, rows, imageWriteCount()};
        // The same unchanged image already stands there and nothing has been drawn over it.
        if (put == screenState().lastPut) return;
    }
    const std::size_t bytes = std::size_t(columns) * 4;
    for (long long r = 0; r < rows; ++r) {
        std::uint32_t* to = s.row(dy + r) + dx;
        const std::uint32_t* from = imageRow(source, std::uint32_t(sy1 + r)) + sx1;
        // On the screen a row that already shows these pixels is left alone, so a frame that
        // redraws a capture at rest gives the window nothing new to show.
        if (s.redrawn && std::memcmp(to, from, bytes) == 0) continue;
        std::memmove(to, from, bytes);  // memmove: a buffer may be put onto itself
        s.redraw(dy + r);
    }
    s.touch(int(dy), int(dy + rows - 1));
    if (s.isScreen) screenState().lastPut = put;
}

void drawText(Image* target, float fx, float fy, const std::string& text, std::uint32_t colour) {
    if (text.empty()) return;
    Target t(target);
    if (!t.valid()) return;
    Surface& s = t.surface();
    long long x0 = toPixel(fx), y0 = toPixel(fy);
    if (y0 + 7 < 0 || y0 >= s.height) return;
    for (std::size_t i = 0; i < text.size(); ++i) {
        long long cx = x0 + 8 * (long long)i;
        if (cx >= s.width) break;
        if (cx + 7 < 0) continue;
        unsigned char code = static_cast<unsigned char>(text[i]);
        for (int r = 0; r < 8; ++r) {
            std::uint8_t bits = glyphRow(code, r);
            for (int c = 0; bits && c < 8; ++c)
                if (bits & (0x80 >> c)) s.plot(cx + c, y0 + r, colour);
        }
    }
}
