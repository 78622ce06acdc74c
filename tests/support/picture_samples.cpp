#include "support/picture_samples.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "support/test_pictures.h"

namespace {

struct Colour {
  uint8_t r, g, b, a;
};

// A picture with smooth parts, hard edges and runs of one colour, so that
// run-length encoders have runs to make and decoders rows to get wrong.
Colour Pattern(int x, int y) {
  if (y % 4 == 1 && x < 9) return Colour{200, 30, 60, 255};
  return Colour{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * 5 + y * 53),
                static_cast<uint8_t>(x * y * 7 + 13), static_cast<uint8_t>(x * 29 + y * 7)};
}

// A palette index with runs.
int Index(int x, int y, int colours) { return (x / 3 + 2 * y) % colours; }

void Put16le(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32be(std::string* out, unsigned long v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

// ---- TARGA

struct TgaOptions {
  int width = 13, height = 7;
  int type = 2;  // 1, 2, 3, 9, 10, 11
  int depth = 24;
  int descriptor = 0;  // 0x20 top-down, 0x10 right-to-left
  int map_type = 0, map_first = 0, map_length = 0, map_bits = 0;
  std::string id;
  bool footer = false;
};

std::string TgaPixel(const TgaOptions& o, int x, int y) {
  std::string p;
  const Colour c = Pattern(x, y);
  switch (o.depth) {
    case 8:
      p.push_back(static_cast<char>(o.type == 3 || o.type == 11 ? c.g : Index(x, y, 16)));
      break;
    case 15:
    case 16:
      Put16le(&p, ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3) | ((x & 1) << 15));
      break;
    default:
      p = {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
      if (o.depth == 32) p.push_back(static_cast<char>(c.a));
  }
  return p;
}

std::string Tga(const TgaOptions& o) {
  std::string out;
  out.push_back(static_cast<char>(o.id.size()));
  out.push_back(static_cast<char>(o.map_type));
  out.push_back(static_cast<char>(o.type));
  Put16le(&out, o.map_first);
  Put16le(&out, o.map_length);
  out.push_back(static_cast<char>(o.map_bits));
  Put16le(&out, 0);
  Put16le(&out, 0);
  Put16le(&out, o.width);
  Put16le(&out, o.height);
  out.push_back(static_cast<char>(o.depth));
  out.push_back(static_cast<char>(o.descriptor | (o.depth == 32 ? 8 : 0)));
  out += o.id;
  for (int i = 0; i < o.map_length; ++i) {
    const Colour c = Pattern(i * 3, i);
    if (o.map_bits == 16) {
      Put16le(&out, ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
    } else {
      out += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
      if (o.map_bits == 32) out.push_back(static_cast<char>(c.a));
    }
  }
  std::vector<std::string> pixels;
  for (int row = 0; row < o.height; ++row) {
    const int y = (o.descriptor & 0x20) ? row : o.height - 1 - row;
    for (int column = 0; column < o.width; ++column) {
      const int x = (o.descriptor & 0x10) ? o.width - 1 - column : column;
      pixels.push_back(TgaPixel(o, x, y));
    }
  }
  if (o.type < 9) {
    for (const std::string& p : pixels) out += p;
  } else {
    // Packets run on across rows, as many writers make them.
    size_t i = 0;
    while (i < pixels.size()) {
      size_t run = 1;
      while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
      if (run >= 2) {
        out.push_back(static_cast<char>(0x80 | (run - 1)));
        out += pixels[i];
        i += run;
        continue;
      }
      size_t n = 1;
      while (i + n < pixels.size() && n < 128 &&
             !(i + n + 1 < pixels.size() && pixels[i + n] == pixels[i + n + 1])) {
        ++n;
      }
      out.push_back(static_cast<char>(n - 1));
      for (size_t k = 0; k < n; ++k) out += pixels[i + k];
      i += n;
    }
  }
  if (o.footer) {
    const size_t extension = out.size();
    std::string area(495, '\0');
    area[0] = static_cast<char>(495 & 0xFF);
    area[1] = static_cast<char>(495 >> 8);
    out += area;
    out.push_back(static_cast<char>(extension & 0xFF));
    out.push_back(static_cast<char>((extension >> 8) & 0xFF));
    out += std::string(6, '\0');
    out += std::string("TRUEVISION-XFILE.") + '\0';
  }
  return out;
}

// ---- PCX

struct PcxOptions {
  int width = 13, height = 7;
  int bits = 8, planes = 1;
  bool rle = true;
  int bytes_per_line = 0;  // 0: the smallest even count
  bool vga_palette = true;
  int palette_info = 1;
};

std::string PcxRow(const PcxOptions& o, int y, int bytes_per_line) {
  std::string row(static_cast<size_t>(bytes_per_line) * o.planes, '\0');
  for (int x = 0; x < o.width; ++x) {
    const Colour c = Pattern(x, y);
    if (o.bits == 8 && o.planes == 1) {
      row[x] = static_cast<char>(Index(x, y, 256) * 7);
    } else if (o.bits == 8) {
      row[x] = static_cast<char>(c.r);
      row[bytes_per_line + x] = static_cast<char>(c.g);
      row[2 * bytes_per_line + x] = static_cast<char>(c.b);
    } else {
      const int index = o.planes == 1 ? (Index(x, y, 2)) : Index(x, y, 16);
      for (int plane = 0; plane < o.planes; ++plane) {
        if (index & (1 << plane))
          row[plane * bytes_per_line + x / 8] |= static_cast<char>(0x80 >> (x % 8));
      }
    }
  }
  return row;
}

std::string Pcx(const PcxOptions& o) {
  const int bytes_per_line =
      o.bytes_per_line ? o.bytes_per_line : ((o.width * o.bits + 7) / 8 + 1) / 2 * 2;
  std::string out(128, '\0');
  out[0] = 0x0A;
  out[1] = 5;
  out[2] = o.rle ? 1 : 0;
  out[3] = static_cast<char>(o.bits);
  out[8] = static_cast<char>((o.width - 1) & 0xFF);
  out[9] = static_cast<char>((o.width - 1) >> 8);
  out[10] = static_cast<char>((o.height - 1) & 0xFF);
  out[11] = static_cast<char>((o.height - 1) >> 8);
  for (int i = 0; i < 16; ++i) {  // the 16-colour palette
    const Colour c = Pattern(i * 5, i);
    out[16 + 3 * i] = static_cast<char>(c.r);
    out[17 + 3 * i] = static_cast<char>(c.g);
    out[18 + 3 * i] = static_cast<char>(c.b);
  }
  out[65] = static_cast<char>(o.planes);
  out[66] = static_cast<char>(bytes_per_line & 0xFF);
  out[67] = static_cast<char>(bytes_per_line >> 8);
  out[68] = static_cast<char>(o.palette_info);
  for (int y = 0; y < o.height; ++y) {
    const std::string row = PcxRow(o, y, bytes_per_line);
    if (!o.rle) {
      out += row;
      continue;
    }
    for (size_t i = 0; i < row.size();) {
      size_t run = 1;
      while (i + run < row.size() && run < 63 && row[i + run] == row[i]) ++run;
      const auto value = static_cast<unsigned char>(row[i]);
      if (run > 1 || value >= 0xC0) out.push_back(static_cast<char>(0xC0 | run));
      out.push_back(row[i]);
      i += run;
    }
  }
  if (o.bits == 8 && o.planes == 1 && o.vga_palette) {
    out.push_back(0x0C);
    for (int i = 0; i < 256; ++i) {
      const Colour c = Pattern(i, i / 16);
      out += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
    }
  }
  return out;
}

// ---- PNM

std::string Pnm(char kind, int maximum, int width = 11, int height = 6) {
  std::string out = std::string("P") + kind + "\n# made for the tests\n" + std::to_string(width) +
                    " " + std::to_string(height) + "\n";
  if (kind != '1' && kind != '4') out += std::to_string(maximum) + "\n";
  const bool text = kind <= '3';
  for (int y = 0; y < height; ++y) {
    if (kind == '4') {
      for (int x = 0; x < width; x += 8) {
        int byte = 0;
        for (int b = 0; b < 8 && x + b < width; ++b) byte |= Index(x + b, y, 2) << (7 - b);
        out.push_back(static_cast<char>(byte));
      }
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const Colour c = Pattern(x, y);
      std::vector<unsigned> levels;
      if (kind == '1') levels = {static_cast<unsigned>(Index(x, y, 2))};
      if (kind == '2' || kind == '5') levels = {c.g * static_cast<unsigned>(maximum) / 255u};
      if (kind == '3' || kind == '6') {
        for (unsigned v : {c.r, c.g, c.b})
          levels.push_back(v * static_cast<unsigned>(maximum) / 255u);
      }
      for (unsigned v : levels) {
        if (text) {
          out += std::to_string(v) + (x % 5 == 4 ? "\n" : " ");
        } else if (maximum > 255) {
          out.push_back(static_cast<char>(v >> 8));
          out.push_back(static_cast<char>(v & 0xFF));
        } else {
          out.push_back(static_cast<char>(v));
        }
      }
    }
    if (text) out += "\n";
  }
  return out;
}

// ---- Sun raster

struct RasOptions {
  int width = 13, height = 7;
  int depth = 8;
  int type = 1;
  int map_type = 0;
  int map_length = 0;
  bool odd_width_padding = false;  // FreeImage's rule for every depth
};

std::string Ras(const RasOptions& o) {
  std::string data;
  const int row_bytes = o.depth == 1 ? (o.width + 7) / 8 : o.width * o.depth / 8;
  for (int y = 0; y < o.height; ++y) {
    int padding = row_bytes % 2;
    if (o.odd_width_padding) padding = o.width % 2;
    std::string row(static_cast<size_t>(row_bytes + padding), '\0');
    for (int x = 0; x < o.width; ++x) {
      const Colour c = Pattern(x, y);
      if (o.depth == 1) {
        if (Index(x, y, 2)) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
      } else if (o.depth == 8) {
        row[x] = static_cast<char>(Index(x, y, 16));
      } else {
        char* p = &row[static_cast<size_t>(x) * (o.depth / 8)];
        if (o.depth == 32) *p++ = static_cast<char>(c.a);
        const bool rgb = o.type == 3;
        p[0] = static_cast<char>(rgb ? c.r : c.b);
        p[1] = static_cast<char>(c.g);
        p[2] = static_cast<char>(rgb ? c.b : c.r);
      }
    }
    data += row;
  }
  std::string body;
  if (o.type == 2) {
    for (size_t i = 0; i < data.size();) {
      size_t run = 1;
      while (i + run < data.size() && run < 256 && data[i + run] == data[i]) ++run;
      if (run >= 3 || static_cast<unsigned char>(data[i]) == 0x80) {
        body += {static_cast<char>(0x80), static_cast<char>(run - 1)};
        if (run > 1 || static_cast<unsigned char>(data[i]) != 0x80) body.push_back(data[i]);
        i += run;
      } else {
        body.push_back(data[i++]);
      }
    }
  } else {
    body = data;
  }
  std::string out;
  Put32be(&out, 0x59A66A95);
  Put32be(&out, o.width);
  Put32be(&out, o.height);
  Put32be(&out, o.depth);
  Put32be(&out, data.size());
  Put32be(&out, o.type);
  Put32be(&out, o.map_type);
  Put32be(&out, o.map_length);
  for (int i = 0; i < o.map_length; ++i) {
    const int colours = o.map_length / 3;
    const Colour c = Pattern(i % colours, i % 5);
    out.push_back(static_cast<char>(i < colours ? c.r : i < 2 * colours ? c.g : c.b));
  }
  return out + body;
}

// ---- KOALA and Photo CD

std::string Koala(bool load_address, uint8_t background) {
  std::string out;
  if (load_address) out += {0x00, 0x60};
  uint32_t state = 12345;
  for (int i = 0; i < 10000; ++i) {
    state = state * 1103515245u + 12345u;
    out.push_back(static_cast<char>(state >> 16));
  }
  out.push_back(static_cast<char>(background));
  return out;
}

std::string PhotoCd(bool top_down) {
  std::string out(0x30000, '\0');
  out[72] = top_down ? 8 : 0;
  for (int pair = 0; pair < 256; ++pair) {
    for (int i = 0; i < 2; ++i) {
      for (int x = 0; x < 768; ++x)
        out.push_back(static_cast<char>((x / 3 + pair + i * 40) & 0xFF));
    }
    for (int x = 0; x < 384; ++x) out.push_back(static_cast<char>(96 + (x + pair) % 120));
    for (int x = 0; x < 384; ++x) out.push_back(static_cast<char>(80 + (2 * x + pair) % 140));
  }
  return out;
}

// ---- formats FreeImage writes

FIBITMAP* Bitmap(int width, int height, int bpp) {
  FIBITMAP* dib = FreeImage_Allocate(width, height, bpp);
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const Colour c = Pattern(x, y);
      if (bpp >= 24) {
        BYTE* p = line + x * (bpp / 8);
        p[FI_RGBA_RED] = c.r;
        p[FI_RGBA_GREEN] = c.g;
        p[FI_RGBA_BLUE] = c.b;
        if (bpp == 32) p[FI_RGBA_ALPHA] = c.a;
      }
    }
  }
  return dib;
}

std::string Written(FIBITMAP* dib, FREE_IMAGE_FORMAT format, int flags = 0) {
  std::string bytes;
  FIMEMORY* memory = FreeImage_OpenMemory();
  if (FreeImage_SaveToMemory(format, dib, memory, flags)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    bytes.assign(reinterpret_cast<char*>(data), size);
  }
  FreeImage_CloseMemory(memory);
  FreeImage_Unload(dib);
  return bytes;
}

// `convert` applied to `dib`, which is unloaded.
template <class Convert>
FIBITMAP* Converted(FIBITMAP* dib, Convert convert) {
  FIBITMAP* result = convert(dib);
  FreeImage_Unload(dib);
  return result;
}

FIBITMAP* Quantized(int width, int height) {
  FIBITMAP* rgb = Bitmap(width, height, 24);
  FIBITMAP* palette = FreeImage_ColorQuantize(rgb, FIQ_WUQUANT);
  FreeImage_Unload(rgb);
  return palette;
}

FIBITMAP* Grey16(int width, int height) {
  FIBITMAP* dib = FreeImage_AllocateT(FIT_UINT16, width, height);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(dib, y));
    for (int x = 0; x < width; ++x) line[x] = static_cast<uint16_t>(x * 3001 + y * 517);
  }
  return dib;
}

// 16 bits a channel, red-green-blue.
FIBITMAP* Rgb16(int width, int height) {
  FIBITMAP* dib = FreeImage_AllocateT(FIT_RGB16, width, height);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(dib, y));
    for (int x = 0; x < width; ++x) {
      line[x].red = static_cast<uint16_t>(x * 4999 + y * 131);
      line[x].green = static_cast<uint16_t>(65535 - x * 3001 - y * 2003);
      line[x].blue = static_cast<uint16_t>((x * y * 1237) % 65536);
    }
  }
  return dib;
}

// Soft gradients and shading as in a photograph, without hard colour edges.
FIBITMAP* Photo(int width, int height) {
  FIBITMAP* dib = FreeImage_Allocate(width, height, 24);
  for (int y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      BYTE* p = line + 3 * x;
      p[FI_RGBA_RED] = static_cast<BYTE>(120 + 90 * std::sin(x / 9.0) * std::cos(y / 13.0));
      p[FI_RGBA_GREEN] = static_cast<BYTE>(60 + 2 * y + x / 2);
      p[FI_RGBA_BLUE] = static_cast<BYTE>(200 - x - y / 2);
    }
  }
  return dib;
}

}  // namespace

std::vector<PictureSample> PictureSamples() {
  std::vector<PictureSample> s;
  auto ours = [&](const std::string& name, std::string bytes) {
    s.push_back({name, std::move(bytes), true});
  };
  auto theirs = [&](const std::string& name, std::string bytes) {
    s.push_back({name, std::move(bytes), false});
  };

  // Ours made from the default options of their format as `change` sets them.
  const auto tga = [&](const std::string& name, void (*change)(TgaOptions&)) {
    TgaOptions o;
    change(o);
    ours(name, Tga(o));
  };
  const auto pcx = [&](const std::string& name, void (*change)(PcxOptions&)) {
    PcxOptions o;
    change(o);
    ours(name, Pcx(o));
  };
  const auto ras = [&](const std::string& name, void (*change)(RasOptions&)) {
    RasOptions o;
    change(o);
    ours(name, Ras(o));
  };

  tga("targa_24.tga", [](auto&) {});
  tga("targa_24_top_down.tga", [](auto& o) { o.descriptor = 0x20; });
  tga("targa_24_right_to_left.tga", [](auto& o) { o.descriptor = 0x10; });
  tga("targa_24_rle.tga", [](auto& o) { o.type = 10, o.width = 37, o.height = 23; });
  tga("targa_24_rle_top_down_right_to_left.tga",
      [](auto& o) { o.type = 10, o.width = 37, o.height = 23, o.descriptor = 0x30; });
  tga("targa_32_alpha.tga", [](auto& o) { o.depth = 32; });
  tga("targa_32_alpha_rle_top_down.tga",
      [](auto& o) { o.depth = 32, o.type = 10, o.descriptor = 0x20; });
  tga("targa_16.tga", [](auto& o) { o.depth = 16; });
  tga("targa_15_rle.tga", [](auto& o) { o.depth = 15, o.type = 10; });
  tga("targa_16_unused_map.tga",
      [](auto& o) { o.depth = 16, o.map_type = 1, o.map_length = 3, o.map_bits = 24; });
  tga("targa_8_map24_id.tga", [](auto& o) {
    o.type = 1, o.depth = 8, o.map_type = 1, o.map_length = 16, o.map_bits = 24;
    o.id = "an identifier";
  });
  tga("targa_8_map16_first2.tga", [](auto& o) {
    o.type = 1, o.depth = 8, o.map_type = 1, o.map_first = 2, o.map_length = 14, o.map_bits = 16;
  });
  tga("targa_8_map32_rle_top_down.tga", [](auto& o) {
    o.type = 9, o.depth = 8, o.map_type = 1, o.map_length = 16, o.map_bits = 32;
    o.descriptor = 0x20, o.width = 40;
  });
  tga("targa_8_grey.tga", [](auto& o) { o.type = 3, o.depth = 8; });
  tga("targa_8_grey_rle_footer.tga", [](auto& o) { o.type = 11, o.depth = 8, o.footer = true; });
  tga("targa_24_with_map.tga", [](auto& o) { o.map_type = 1, o.map_length = 4, o.map_bits = 24; });

  pcx("pcx_8_palette_rle.pcx", [](auto&) {});
  pcx("pcx_8_palette_raw.pcx", [](auto& o) { o.rle = false; });
  pcx("pcx_8_grey_rle.pcx", [](auto& o) { o.vga_palette = false, o.palette_info = 2; });
  pcx("pcx_24_rle.pcx", [](auto& o) { o.planes = 3; });
  pcx("pcx_24_raw.pcx", [](auto& o) { o.planes = 3, o.rle = false, o.width = 12; });
  pcx("pcx_24_wide_rows.pcx", [](auto& o) { o.planes = 3, o.bytes_per_line = 20; });
  pcx("pcx_1_rle.pcx", [](auto& o) { o.bits = 1; });
  pcx("pcx_1_raw.pcx", [](auto& o) { o.bits = 1, o.rle = false; });
  pcx("pcx_4_planes_rle.pcx", [](auto& o) { o.bits = 1, o.planes = 4; });
  pcx("pcx_4_planes_raw.pcx",
      [](auto& o) { o.bits = 1, o.planes = 4, o.rle = false, o.width = 14; });

  ours("pnm_p1.pbm", Pnm('1', 1));
  ours("pnm_p4.pbm", Pnm('4', 1, 19, 5));
  ours("pnm_p2.pgm", Pnm('2', 255));
  ours("pnm_p2_max100.pgm", Pnm('2', 100));
  ours("pnm_p2_max1000.pgm", Pnm('2', 1000));
  ours("pnm_p5.pgm", Pnm('5', 255));
  ours("pnm_p5_max200.pgm", Pnm('5', 200));
  ours("pnm_p5_max4095.pgm", Pnm('5', 4095));
  ours("pnm_p3.ppm", Pnm('3', 255));
  ours("pnm_p3_max15.ppm", Pnm('3', 15));
  ours("pnm_p3_max65535.ppm", Pnm('3', 65535));
  ours("pnm_p6.ppm", Pnm('6', 255));
  ours("pnm_p6_max100.ppm", Pnm('6', 100));
  ours("pnm_p6_max1023.ppm", Pnm('6', 1023));

  ras("ras_8_grey.ras", [](auto&) {});
  ras("ras_8_map.ras", [](auto& o) { o.map_type = 1, o.map_length = 48; });
  ras("ras_8_map_rle.ras",
      [](auto& o) { o.map_type = 1, o.map_length = 48, o.type = 2, o.width = 40; });
  ras("ras_8_raw_map.ras", [](auto& o) { o.map_type = 2, o.map_length = 10; });
  ras("ras_1.ras", [](auto& o) { o.depth = 1; });
  ras("ras_1_one_colour_map.ras", [](auto& o) { o.depth = 1, o.map_type = 1, o.map_length = 3; });
  ras("ras_24.ras", [](auto& o) { o.depth = 24; });
  ras("ras_24_rgb.ras", [](auto& o) { o.depth = 24, o.type = 3; });
  ras("ras_24_rle.ras", [](auto& o) { o.depth = 24, o.type = 2, o.width = 12; });
  ras("ras_32.ras", [](auto& o) { o.depth = 32, o.width = 12; });
  ras("ras_32_rgb.ras", [](auto& o) { o.depth = 32, o.width = 12, o.type = 3; });
  ras("ras_32_odd_width_padded.ras",
      [](auto& o) { o.depth = 32, o.type = 3, o.odd_width_padding = true; });

  ours("koala.koa", Koala(true, 6));
  ours("koala_no_load_address_wide_background.koa", Koala(false, 0x3B));
  ours("photo_cd.pcd", PhotoCd(true));

  theirs("bmp_24.bmp", Written(Bitmap(13, 7, 24), FIF_BMP));
  theirs("bmp_32_alpha.bmp", Written(Bitmap(13, 7, 32), FIF_BMP));
  theirs("bmp_8_palette.bmp", Written(Quantized(13, 7), FIF_BMP));
  theirs("bmp_4_palette.bmp",
         Written(Converted(Bitmap(13, 7, 24), FreeImage_ConvertTo4Bits), FIF_BMP));
  theirs("bmp_1.bmp", Written(Converted(Bitmap(13, 7, 24),
                                        [](FIBITMAP* d) { return FreeImage_Threshold(d, 100); }),
                              FIF_BMP));
  theirs("ico_32_alpha.ico", Written(Bitmap(16, 16, 32), FIF_ICO));
  theirs("ico_8_palette.ico", Written(Quantized(16, 16), FIF_ICO));
  theirs("jpeg.jpg", Written(Bitmap(24, 16, 24), FIF_JPEG, JPEG_QUALITYSUPERB));
  theirs("jpeg_photo.jpg", Written(Photo(96, 64), FIF_JPEG));
  theirs("png_24.png", Written(Bitmap(13, 7, 24), FIF_PNG));
  theirs("png_48.png", Written(Rgb16(13, 7), FIF_PNG));
  theirs("png_32_alpha.png", Written(Bitmap(13, 7, 32), FIF_PNG));
  theirs("png_8_palette.png", Written(Quantized(13, 7), FIF_PNG));
  theirs("png_16_grey.png", Written(Grey16(13, 7), FIF_PNG));
  theirs("tiff_24.tif", Written(Bitmap(13, 7, 24), FIF_TIFF, TIFF_LZW));
  theirs("tiff_32_alpha.tif", Written(Bitmap(13, 7, 32), FIF_TIFF));
  return s;
}

namespace {

// The file as the Linux build hands it to FreeImage: a loader that asks for
// bytes past the end gets none, and the picture is then refused.
struct MemoryInput {
  const std::string* bytes;
  long pos = 0;
  bool read_past_end = false;
};

unsigned DLL_CALLCONV ReadMemory(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* in = static_cast<MemoryInput*>(handle);
  const long total = static_cast<long>(in->bytes->size());
  const long available = in->pos < total ? total - in->pos : 0;
  const long items = size == 0 ? 0 : std::min<long>(count, available / size);
  // Like fread, a short read still copies what there is.
  const long copied = std::min<long>(available, static_cast<long>(size) * count);
  if (copied > 0) std::memcpy(buffer, in->bytes->data() + in->pos, static_cast<size_t>(copied));
  in->pos += copied;
  if (items == 0 && size > 0 && count > 0) in->read_past_end = true;
  return static_cast<unsigned>(items);
}

unsigned DLL_CALLCONV WriteNowhere(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekMemory(fi_handle handle, long offset, int origin) {
  auto* in = static_cast<MemoryInput*>(handle);
  long target = offset;
  if (origin == SEEK_CUR) target += in->pos;
  if (origin == SEEK_END) target += static_cast<long>(in->bytes->size());
  if (target < 0) return -1;
  in->pos = target;
  return 0;
}

long DLL_CALLCONV TellMemory(fi_handle handle) { return static_cast<MemoryInput*>(handle)->pos; }

}  // namespace

FIBITMAP* FreeImageReference(const std::string& name, const std::string& bytes, bool keep_alpha) {
  const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(name.c_str());
  if (format == FIF_UNKNOWN) return nullptr;
  MemoryInput input{&bytes};
  FreeImageIO io = {ReadMemory, WriteNowhere, SeekMemory, TellMemory};
  FIBITMAP* dib = FreeImage_LoadFromHandle(format, &io, &input, 0);
  if (dib == nullptr) return nullptr;
  // The PCX reader reads ahead past the end of whole files: the Linux build
  // leaves the end to it.
  if (input.read_past_end && format != FIF_PCX) {
    FreeImage_Unload(dib);
    return nullptr;
  }
  if (!FreeImage_FIFSupportsExportType(FIF_BMP, FreeImage_GetImageType(dib))) {
    FIBITMAP* standard = FreeImage_ConvertToType(dib, FIT_BITMAP, TRUE);
    FreeImage_Unload(dib);
    dib = standard;
    if (dib == nullptr) return nullptr;
  }
  FIBITMAP* converted = keep_alpha && FreeImage_GetBPP(dib) == 32 ? FreeImage_Clone(dib)
                                                                  : FreeImage_ConvertTo24Bits(dib);
  FreeImage_Unload(dib);
  return converted;
}

FIBITMAP* FreeImageReferenceInChild(const std::string& name, const std::string& bytes) {
  int fds[2];
  if (::pipe(fds) != 0) return nullptr;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    ::close(fds[0]);
    FIBITMAP* dib = FreeImageReference(name, bytes);
    if (dib == nullptr) ::_exit(1);
    // Width, height, then the 24-bit scanlines as FreeImage stores them.
    std::string out(8, '\0');
    const uint32_t size[2] = {FreeImage_GetWidth(dib), FreeImage_GetHeight(dib)};
    std::memcpy(&out[0], size, 8);
    for (unsigned y = 0; y < size[1]; ++y) {
      out.append(reinterpret_cast<const char*>(FreeImage_GetScanLine(dib, y)), 3 * size[0]);
    }
    for (size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) ::_exit(1);
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string in;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof(buffer))) > 0)
    in.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || in.size() < 8) return nullptr;
  uint32_t size[2];
  std::memcpy(size, in.data(), 8);
  if (in.size() != 8 + 3ULL * size[0] * size[1]) return nullptr;
  FIBITMAP* dib = FreeImage_Allocate(static_cast<int>(size[0]), static_cast<int>(size[1]), 24);
  for (unsigned y = 0; y < size[1]; ++y) {
    std::memcpy(FreeImage_GetScanLine(dib, y), in.data() + 8 + 3ULL * size[0] * y, 3 * size[0]);
  }
  return dib;
}
