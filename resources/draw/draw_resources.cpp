// SPDX-License-Identifier: GPL-2.0-or-later
// Draws the library's pictures: the tray icon (MAINICON: 16x16 and 32x32, 32-bit) and the
// 97x79, 256-colour picture of the "About" page. Usage: draw_resources ICON.ico PICTURE.bmp
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width * height), Rgba{0, 0, 0, 0}) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgba& At(int x, int y) { return pixels_[static_cast<size_t>(y * width_ + x)]; }
    const Rgba& At(int x, int y) const { return pixels_[static_cast<size_t>(y * width_ + x)]; }

    void Fill(int x0, int y0, int x1, int y1, Rgba colour) {
        for (int y = std::max(0, y0); y < std::min(height_, y1); ++y) {
            for (int x = std::max(0, x0); x < std::min(width_, x1); ++x) {
                At(x, y) = colour;
            }
        }
    }
    void Dot(double x, double y, double radius, Rgba colour) {
        for (int py = static_cast<int>(y - radius - 1); py <= static_cast<int>(y + radius + 1); ++py) {
            for (int px = static_cast<int>(x - radius - 1); px <= static_cast<int>(x + radius + 1); ++px) {
                if (px >= 0 && py >= 0 && px < width_ && py < height_ && std::hypot(px + 0.5 - x, py + 0.5 - y) <= radius) {
                    At(px, py) = colour;
                }
            }
        }
    }
    /// A curve y = f(x) between x0 and x1, drawn as overlapping dots.
    template <typename F>
    void Curve(double x0, double x1, double radius, Rgba colour, F f) {
        for (double x = x0; x <= x1; x += 0.1) {
            Dot(x, f(x), radius, colour);
        }
    }

private:
    int width_, height_;
    std::vector<Rgba> pixels_;
};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageSize, uint32_t colours) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 3780); // 96 dpi
    Put32(out, 3780);
    Put32(out, colours);
    Put32(out, 0);
}

// Icon: a dark rounded tile with a pulse wave and a sine wave, the two sounds of the chip.
Canvas DrawIcon(int size) {
    Canvas c(size, size);
    const double s = size / 32.0;
    const double corner = 5 * s;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = std::max({corner - x - 0.5, x + 0.5 - (size - corner), 0.0});
            const double dy = std::max({corner - y - 0.5, y + 0.5 - (size - corner), 0.0});
            if (std::hypot(dx, dy) <= corner) {
                const auto shade = static_cast<uint8_t>(40 + 30 * y / size);
                c.At(x, y) = {shade, static_cast<uint8_t>(shade / 2), static_cast<uint8_t>(shade + 40), 255};
            }
        }
    }
    const double r = std::max(0.7, 1.2 * s);
    c.Curve(4 * s, 28 * s, r, {250, 200, 60, 255}, [&](double x) {
        return (std::fmod(x / s - 4, 12) < 6 ? 9 : 15) * s;
    });
    for (double y = 9 * s; y <= 15 * s; y += 0.2) { // the pulse's edges
        for (const double edge : {4.0, 10.0, 16.0, 22.0, 28.0}) {
            c.Dot(edge * s, y, r, {250, 200, 60, 255});
        }
    }
    c.Curve(4 * s, 28 * s, r, {90, 230, 140, 255}, [&](double x) { return (22 + 4 * std::sin((x / s - 4) * 0.55)) * s; });
    return c;
}

std::vector<uint8_t> IconFile(const std::vector<Canvas>& images) {
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<uint32_t>(images.size()));
    std::vector<std::vector<uint8_t>> bodies;
    for (const Canvas& c : images) {
        std::vector<uint8_t> body;
        const int maskRow = ((c.Width() + 31) / 32) * 4;
        const auto xorSize = static_cast<uint32_t>(c.Width() * c.Height() * 4);
        PutInfoHeader(body, c.Width(), c.Height() * 2, 32, xorSize + static_cast<uint32_t>(maskRow * c.Height()), 0);
        for (int y = c.Height() - 1; y >= 0; --y) {
            for (int x = 0; x < c.Width(); ++x) {
                const Rgba p = c.At(x, y);
                body.insert(body.end(), {p.b, p.g, p.r, p.a});
            }
        }
        for (int y = c.Height() - 1; y >= 0; --y) {
            std::vector<uint8_t> row(static_cast<size_t>(maskRow), 0);
            for (int x = 0; x < c.Width(); ++x) {
                if (c.At(x, y).a == 0) {
                    row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
            }
            body.insert(body.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(body));
    }
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(images[i].Width()));
        out.push_back(static_cast<uint8_t>(images[i].Height()));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies) {
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

// The "About" picture: a 28-pin chip on a dusk gradient, with the three voices' waves.
Canvas DrawPicture() {
    Canvas c(97, 79);
    for (int y = 0; y < c.Height(); ++y) {
        for (int x = 0; x < c.Width(); ++x) {
            const double t = static_cast<double>(y) / c.Height();
            c.At(x, y) = {static_cast<uint8_t>(30 + 60 * t), static_cast<uint8_t>(20 + 30 * t), static_cast<uint8_t>(90 - 40 * t), 255};
        }
    }
    const Rgba pin{200, 200, 210, 255};
    for (int i = 0; i < 14; ++i) {
        c.Fill(20 + i * 4, 10, 22 + i * 4, 15, pin);
        c.Fill(20 + i * 4, 35, 22 + i * 4, 40, pin);
    }
    c.Fill(17, 15, 78, 35, {25, 25, 30, 255});
    c.Dot(21, 25, 2.5, {60, 60, 70, 255}); // the notch
    c.Fill(30, 23, 70, 27, {120, 120, 130, 255});
    const Rgba voice[] = {{250, 200, 60, 255}, {90, 230, 140, 255}, {120, 170, 255, 255}};
    c.Curve(6, 90, 1.0, voice[0], [](double x) { return std::fmod(x - 6, 16) < 8 ? 50.0 : 56.0; });
    for (double y = 50; y <= 56; y += 0.2) {
        for (double edge = 6; edge <= 90; edge += 8) {
            c.Dot(edge, y, 1.0, voice[0]);
        }
    }
    c.Curve(6, 90, 1.0, voice[1], [](double x) { return 63 + 4 * std::sin((x - 6) * 0.3); });
    c.Curve(6, 90, 1.0, voice[2], [](double x) { return 74 - std::fmod(x - 6, 12) * 0.6; });
    return c;
}

// 8-bit bitmap: a 6x7x6 colour cube (252 colours) plus 4 greys makes the 256-entry palette.
std::vector<uint8_t> BitmapFile(const Canvas& c) {
    std::array<Rgba, 256> palette{};
    size_t n = 0;
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 7; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette[n++] = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 255 / 6), static_cast<uint8_t>(b * 51), 0};
            }
        }
    }
    for (const uint8_t grey : {64, 128, 192, 224}) {
        palette[n++] = {grey, grey, grey, 0};
    }
    const auto nearest = [&](Rgba p) {
        size_t best = 0;
        long bestDistance = -1;
        for (size_t i = 0; i < palette.size(); ++i) {
            const long dr = p.r - palette[i].r, dg = p.g - palette[i].g, db = p.b - palette[i].b;
            const long distance = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return static_cast<uint8_t>(best);
    };
    const int row = (c.Width() + 3) / 4 * 4;
    const auto imageSize = static_cast<uint32_t>(row * c.Height());
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, 14 + 40 + 1024 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40 + 1024);
    PutInfoHeader(out, c.Width(), c.Height(), 8, imageSize, 256);
    for (const Rgba& p : palette) {
        out.insert(out.end(), {p.b, p.g, p.r, 0});
    }
    for (int y = c.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < row; ++x) {
            out.push_back(x < c.Width() ? nearest(c.At(x, y)) : 0);
        }
    }
    return out;
}

bool Save(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ICON.ico PICTURE.bmp\n", argv[0]);
        return 2;
    }
    if (!Save(argv[1], IconFile({DrawIcon(16), DrawIcon(32)})) || !Save(argv[2], BitmapFile(DrawPicture()))) {
        std::fprintf(stderr, "could not write the pictures\n");
        return 1;
    }
    return 0;
}
