// Draws the demo show's pictures (24-bit Windows bitmaps) and its chime (a WAV file)
// into the folder given on the command line. Everything is computed, so the demo
// carries no media made elsewhere.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct TRgb {
  double R, G, B;
};

void PutU16(std::vector<unsigned char>& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v & 0xFF));
  out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}
unsigned char Clamp(double v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

bool WriteFile(const std::filesystem::path& path, const std::vector<unsigned char>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool WriteBmp(const std::filesystem::path& path, int width, int height, const std::function<TRgb(double, double)>& f) {
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> out;
  out.push_back('B');
  out.push_back('M');
  PutU32(out, static_cast<std::uint32_t>(54 + stride * height));
  PutU32(out, 0);
  PutU32(out, 54);
  PutU32(out, 40);
  PutU32(out, static_cast<std::uint32_t>(width));
  PutU32(out, static_cast<std::uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0);
  PutU32(out, static_cast<std::uint32_t>(stride * height));
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int y = height - 1; y >= 0; --y) {  // bottom-up
    int written = 0;
    for (int x = 0; x < width; ++x) {
      const TRgb c = f((x + 0.5) / width, (y + 0.5) / height);
      out.push_back(Clamp(c.B));
      out.push_back(Clamp(c.G));
      out.push_back(Clamp(c.R));
      written += 3;
    }
    for (; written < stride; ++written) out.push_back(0);
  }
  return WriteFile(path, out);
}

TRgb Mix(TRgb a, TRgb b, double t) { return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t}; }

bool WriteChime(const std::filesystem::path& path) {
  constexpr int kRate = 22050;
  constexpr int kSamples = kRate * 2;
  std::vector<unsigned char> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutU32(out, 36 + kSamples);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutU32(out, 16);
  PutU16(out, 1);  // PCM
  PutU16(out, 1);  // mono
  PutU32(out, kRate);
  PutU32(out, kRate);
  PutU16(out, 1);
  PutU16(out, 8);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutU32(out, kSamples);
  const double notes[] = {523.25, 659.25, 783.99};
  for (int i = 0; i < kSamples; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int n = 0; n < 3; ++n) {
      const double start = n * 0.4;
      if (t >= start) v += std::sin(2 * M_PI * notes[n] * (t - start)) * std::exp(-3.0 * (t - start));
    }
    out.push_back(Clamp(128 + 40 * v));
  }
  return WriteFile(path, out);
}

}  // namespace

// An uncompressed 32-bit video: a glowing ball crossing a dark field, 10 frames a second.
bool WriteVideo(const std::filesystem::path& path, int width, int height, int frames) {
  const std::uint32_t frameSize = std::uint32_t(width) * std::uint32_t(height) * 4;
  std::vector<unsigned char> movi;
  std::vector<unsigned char> index;
  const auto tag = [](std::vector<unsigned char>& out, const char* fourcc) { out.insert(out.end(), fourcc, fourcc + 4); };
  for (int f = 0; f < frames; ++f) {
    PutU32(index, 0x62643030);  // "00db"
    PutU32(index, 0x10);        // a key frame
    PutU32(index, std::uint32_t(4 + movi.size()));
    PutU32(index, frameSize);
    tag(movi, "00db");
    PutU32(movi, frameSize);
    const double cx = 0.15 + 0.7 * f / std::max(frames - 1, 1), cy = 0.5 + 0.25 * std::sin(f * 0.4);
    for (int y = height - 1; y >= 0; --y)  // bottom-up rows
      for (int x = 0; x < width; ++x) {
        const double dx = double(x) / width - cx, dy = double(y) / height - cy;
        const double glow = std::exp(-(dx * dx + dy * dy) * 40);
        const TRgb c = Mix(TRgb{20, 30, 70}, TRgb{255, 220, 120}, glow);
        movi.insert(movi.end(), {Clamp(c.B), Clamp(c.G), Clamp(c.R), 0});
      }
  }
  std::vector<unsigned char> hdrl;
  tag(hdrl, "hdrl");
  tag(hdrl, "avih");
  PutU32(hdrl, 56);
  for (std::uint32_t v : {100000u, frameSize * 10, 0u, 0x10u, std::uint32_t(frames), 0u, 1u, frameSize,
                          std::uint32_t(width), std::uint32_t(height), 0u, 0u, 0u, 0u})
    PutU32(hdrl, v);
  std::vector<unsigned char> strl;
  tag(strl, "strl");
  tag(strl, "strh");
  PutU32(strl, 56);
  tag(strl, "vids");
  tag(strl, "DIB ");
  for (std::uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, std::uint32_t(frames), frameSize, 0xFFFFFFFFu, 0u}) PutU32(strl, v);
  PutU16(strl, 0);
  PutU16(strl, 0);
  PutU16(strl, static_cast<std::uint16_t>(width));
  PutU16(strl, static_cast<std::uint16_t>(height));
  tag(strl, "strf");
  PutU32(strl, 40);
  for (std::uint32_t v : {40u, std::uint32_t(width), std::uint32_t(height)}) PutU32(strl, v);
  PutU16(strl, 1);
  PutU16(strl, 32);
  for (std::uint32_t v : {0u, frameSize, 0u, 0u, 0u, 0u}) PutU32(strl, v);
  tag(hdrl, "LIST");
  PutU32(hdrl, std::uint32_t(strl.size()));
  hdrl.insert(hdrl.end(), strl.begin(), strl.end());

  std::vector<unsigned char> body;
  tag(body, "AVI ");
  tag(body, "LIST");
  PutU32(body, std::uint32_t(hdrl.size()));
  body.insert(body.end(), hdrl.begin(), hdrl.end());
  tag(body, "LIST");
  PutU32(body, std::uint32_t(movi.size() + 4));
  tag(body, "movi");
  body.insert(body.end(), movi.begin(), movi.end());
  tag(body, "idx1");
  PutU32(body, std::uint32_t(index.size()));
  body.insert(body.end(), index.begin(), index.end());
  std::vector<unsigned char> out;
  tag(out, "RIFF");
  PutU32(out, std::uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return WriteFile(path, out);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_media FOLDER\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  bool ok = true;
  // Sunrise: a warm sky over a dark sea, and the sun.
  ok &= WriteBmp(dir / "sunrise.bmp", 320, 240, [](double x, double y) {
    const double d = std::hypot(x - 0.5, (y - 0.55) * 0.75);
    if (d < 0.12 && y < 0.6) return TRgb{255, 230, 120};
    if (y > 0.6) return Mix(TRgb{40, 50, 110}, TRgb{10, 15, 40}, (y - 0.6) / 0.4);
    return Mix(TRgb{250, 120, 60}, TRgb{90, 40, 120}, 1 - y / 0.6);
  });
  // Waves: layered sine bands in blues.
  ok &= WriteBmp(dir / "waves.bmp", 320, 240, [](double x, double y) {
    const double w = std::sin(x * 12 + std::sin(y * 7) * 2) * 0.5 + 0.5;
    const double band = std::fmod(y * 6 + w * 0.8, 1.0);
    return Mix(TRgb{10, 60, 140}, TRgb{120, 200, 240}, band);
  });
  // Rings: concentric rings in green and gold, shown through the round mask.
  ok &= WriteBmp(dir / "rings.bmp", 240, 240, [](double x, double y) {
    const double d = std::hypot(x - 0.5, y - 0.5);
    const double r = std::cos(d * 60) * 0.5 + 0.5;
    return Mix(TRgb{30, 120, 60}, TRgb{240, 200, 60}, r);
  });
  // The mask: white inside a soft disc, black outside.
  ok &= WriteBmp(dir / "rings_mask.bmp", 240, 240, [](double x, double y) {
    const double d = std::hypot(x - 0.5, y - 0.5);
    const double v = d < 0.38 ? 255 : d > 0.48 ? 0 : 255 * (0.48 - d) / 0.10;
    return TRgb{v, v, v};
  });
  // Mosaic: tiles of changing hue.
  ok &= WriteBmp(dir / "mosaic.bmp", 256, 192, [](double x, double y) {
    const int tx = static_cast<int>(x * 8);
    const int ty = static_cast<int>(y * 6);
    const double h = ((tx * 5 + ty * 3) % 12) / 12.0 * 2 * M_PI;
    const double edge = (std::fmod(x * 8, 1.0) < 0.06 || std::fmod(y * 6, 1.0) < 0.06) ? 0.3 : 1.0;
    return TRgb{(std::sin(h) * 0.5 + 0.5) * 230 * edge, (std::sin(h + 2.1) * 0.5 + 0.5) * 230 * edge,
                (std::sin(h + 4.2) * 0.5 + 0.5) * 230 * edge};
  });
  // Splash: a bright diamond on a night-blue field.
  ok &= WriteBmp(dir / "splash.bmp", 400, 200, [](double x, double y) {
    const double d = std::fabs(x - 0.5) * 2 + std::fabs(y - 0.5);
    if (d < 0.35) return Mix(TRgb{255, 255, 255}, TRgb{120, 180, 255}, d / 0.35);
    return Mix(TRgb{10, 20, 60}, TRgb{30, 40, 90}, y);
  });
  ok &= WriteChime(dir / "chime.wav");
  ok &= WriteVideo(dir / "glow.avi", 160, 120, 30);
  if (!ok) {
    std::fprintf(stderr, "make_demo_media: could not write into %s\n", dir.string().c_str());
    return 1;
  }
  return 0;
}
