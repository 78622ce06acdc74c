#include "platform/desktop/x11_root_posix.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/freeimage/freeimage_library_posix.h"
#include "platform/owned_handle.h"
#include "platform/process/child_process_posix.h"
#include "platform/text_case.h"

namespace {

// Xlib's default handler ends the process on any protocol error; while we
// work on the root window an error is only noted.
int g_x_errors = 0;
int NoteXError(Display*, XErrorEvent*) {
  ++g_x_errors;
  return 0;
}

class ScopedErrorHandler {
 public:
  ScopedErrorHandler() : previous_(XSetErrorHandler(NoteXError)) { g_x_errors = 0; }
  ~ScopedErrorHandler() { XSetErrorHandler(previous_); }
  ScopedErrorHandler(const ScopedErrorHandler&) = delete;
  ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

 private:
  XErrorHandler previous_;
};

void UnloadDib(FIBITMAP* dib) { LoadFreeImage()->Unload(dib); }
using DibPtr = Owned<FIBITMAP, UnloadDib>;
using DisplayPtr = Owned<Display, XCloseDisplay>;
void DestroyImage(XImage* image) { XDestroyImage(image); }  // frees the pixel data too
using ImagePtr = Owned<XImage, DestroyImage>;

uint32_t LittleEndian32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Walp.bmp as this program writes it (uncompressed, 24 or 32 bits a pixel)
// read straight into 0xRRGGBB pixels: FreeImage would load it, then copy
// it twice more. False for any other bitmap, and for one cut short.
bool ReadPlainBitmap(const std::string& path, Pixels* pixels) {
  const Owned<std::FILE, std::fclose> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  unsigned char header[54];
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return false;
  if (header[0] != 'B' || header[1] != 'M') return false;
  const uint32_t offset = LittleEndian32(header + 10);
  const uint32_t info_size = LittleEndian32(header + 14);
  const int32_t width = static_cast<int32_t>(LittleEndian32(header + 18));
  const int32_t signed_height = static_cast<int32_t>(LittleEndian32(header + 22));
  const int bits = header[28] | (header[29] << 8);
  const uint32_t compression = LittleEndian32(header + 30);
  if (info_size < 40 || (bits != 24 && bits != 32) || compression != 0 || width < 1 ||
      signed_height == 0 || signed_height == INT32_MIN || offset < 14 + info_size) {
    return false;
  }
  const bool bottom_up = signed_height > 0;
  const int height = bottom_up ? signed_height : -signed_height;
  // Within the pixel limit the program accepts, far below what overflows.
  if (static_cast<unsigned long long>(width) * height > (1ULL << 31)) return false;
  const size_t stride = (static_cast<size_t>(width) * (bits / 8) + 3) & ~static_cast<size_t>(3);
  if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) return false;
  std::vector<unsigned char> rows(stride * height);
  if (std::fread(rows.data(), 1, rows.size(), file.get()) != rows.size()) return false;
  pixels->width = width;
  pixels->height = height;
  pixels->data.resize(static_cast<size_t>(width) * height);
  const int step = bits / 8;
  for (int y = 0; y < height; ++y) {
    const unsigned char* line = &rows[stride * (bottom_up ? height - 1 - y : y)];
    uint32_t* out = &pixels->data[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x, line += step)
      out[x] = (static_cast<uint32_t>(line[2]) << 16) | (line[1] << 8) | line[0];
  }
  return true;
}

// The bitmap at `path` as 0xRRGGBB pixels; false when it cannot be read.
bool LoadPixels(const std::string& path, Pixels* pixels) {
  if (ReadPlainBitmap(path, pixels)) return true;
  const FreeImageLibrary* freeimage = LoadFreeImage();
  if (freeimage == nullptr) return false;
  DibPtr loaded(freeimage->Load(FIF_BMP, path.c_str(), 0));
  if (!loaded) return false;
  DibPtr picture(freeimage->ConvertTo32Bits(loaded.get()));
  if (!picture) return false;
  pixels->width = static_cast<int>(freeimage->GetWidth(picture.get()));
  pixels->height = static_cast<int>(freeimage->GetHeight(picture.get()));
  if (pixels->width < 1 || pixels->height < 1) return false;
  pixels->data.resize(static_cast<size_t>(pixels->width) * pixels->height);
  for (int y = 0; y < pixels->height; ++y) {
    // FreeImage keeps its lines bottom-up.
    const BYTE* line = freeimage->GetScanLine(picture.get(), pixels->height - 1 - y);
    uint32_t* out = &pixels->data[static_cast<size_t>(y) * pixels->width];
    for (int x = 0; x < pixels->width; ++x) {
      const BYTE* p = line + x * 4;
      out[x] = (static_cast<uint32_t>(p[FI_RGBA_RED]) << 16) |
               (static_cast<uint32_t>(p[FI_RGBA_GREEN]) << 8) | p[FI_RGBA_BLUE];
    }
  }
  return true;
}

// The monitors of the screen: RandR 1.5's when the server has them, else
// none (the caller takes the screen as one).
std::vector<PixelRect> ReadMonitors(Display* display, Window root) {
  std::vector<PixelRect> monitors;
  int event_base = 0;
  int error_base = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &event_base, &error_base) ||
      !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105) {
    return monitors;
  }
  int count = 0;
  XRRMonitorInfo* info = XRRGetMonitors(display, root, True, &count);
  for (int i = 0; i < count && info != nullptr; ++i) {
    if (info[i].width > 0 && info[i].height > 0)
      monitors.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
  }
  if (info != nullptr) XRRFreeMonitors(info);
  return monitors;
}

unsigned long Channel(int value, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1UL) == 0) ++shift;
  const unsigned long top = mask >> shift;
  return ((static_cast<unsigned long>(value) * top + 127) / 255) << shift;
}

// True when the image's pixels are laid out as the canvas's: 0xRRGGBB in
// 32 bits of this machine's byte order, rows without padding.
bool SameLayout(const XImage* image, const Visual* visual, int width) {
  return image->bits_per_pixel == 32 && visual->red_mask == 0xFF0000 &&
         visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF &&
         image->byte_order == (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst) &&
         image->bytes_per_line == width * 4;
}

// Copies the canvas into a client-side image of the visual's format.
void FillImage(XImage* image, const Pixels& canvas, const Visual* visual) {
  const bool direct = SameLayout(image, visual, image->width);
  for (int y = 0; y < canvas.height; ++y) {
    const uint32_t* line = &canvas.data[static_cast<size_t>(y) * canvas.width];
    if (direct) {
      std::memcpy(image->data + static_cast<long>(y) * image->bytes_per_line, line,
                  static_cast<size_t>(canvas.width) * 4);
      continue;
    }
    for (int x = 0; x < canvas.width; ++x) {
      XPutPixel(image, x, y,
                Channel((line[x] >> 16) & 255, visual->red_mask) |
                    Channel((line[x] >> 8) & 255, visual->green_mask) |
                    Channel(line[x] & 255, visual->blue_mask));
    }
  }
}

// The 32-bit items of `property` on `window` when it has type `type` (at
// most `most` of them); none otherwise.
std::vector<unsigned long> Property32(Display* display, Window window, Atom property, Atom type,
                                      long most) {
  Atom actual = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const bool read = XGetWindowProperty(display, window, property, 0, most, False, type, &actual,
                                       &format, &items, &after, &data) == Success;
  const Owned<unsigned char, XFree> owned_data(data);
  if (!read || actual != type || format != 32 || data == nullptr) return {};
  // Xlib hands 32-bit items over as longs.
  const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
  return std::vector<unsigned long>(values, values + items);
}

// The pixmap published by the program that set the background last.
Pixmap PublishedPixmap(Display* display, Window root, Atom property) {
  const std::vector<unsigned long> pixmaps = Property32(display, root, property, XA_PIXMAP, 1);
  return pixmaps.size() == 1 ? static_cast<Pixmap>(pixmaps[0]) : None;
}

// The picture at `bitmap_path` composed in `look` across the monitors of a
// `width` x `height` screen into *canvas; false when it cannot be read.
bool ComposeCanvas(Display* display, Window root, int width, int height,
                   const std::string& bitmap_path, const WallpaperLook& look, Pixels* canvas) {
  Pixels picture;
  if (!LoadPixels(bitmap_path, &picture)) return false;
  canvas->width = width;
  canvas->height = height;
  canvas->data.resize(static_cast<size_t>(width) * height);
  ComposeWallpaper(picture, look, ReadMonitors(display, root), canvas);
  return true;
}

// The pixmap the last such program left behind is freed with the client
// that still holds it, when both properties name it (the Esetroot rule,
// which keeps us from killing a live program that shares its pixmap).
void FreePublishedPixmap(Display* display, Window root, Atom root_pixmap_atom, Atom esetroot_atom) {
  const Pixmap old_root = PublishedPixmap(display, root, root_pixmap_atom);
  const Pixmap old_esetroot = PublishedPixmap(display, root, esetroot_atom);
  if (old_root != None && old_root == old_esetroot) {
    XKillClient(display, old_root);
    XSync(display, False);
    g_x_errors = 0;  // a pixmap already gone is no failure of ours
  }
}

// Puts `image` into `pixmap` through shared memory when the server is on
// this machine and offers it (the pixels are not sent down the socket);
// false when it cannot, with nothing done.
bool PutImageShared(Display* display, Pixmap pixmap, GC gc, Visual* visual, int depth,
                    const XImage* image) {
  if (!XShmQueryExtension(display)) return false;
  XShmSegmentInfo segment = {};
  XImage* shared =
      XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                      static_cast<unsigned>(image->width), static_cast<unsigned>(image->height));
  if (shared == nullptr) return false;
  const size_t bytes = static_cast<size_t>(shared->bytes_per_line) * shared->height;
  bool shown = false;
  segment.shmid = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment.shmid >= 0) {
    void* memory = ::shmat(segment.shmid, nullptr, 0);
    // Gone once both sides have detached.
    ::shmctl(segment.shmid, IPC_RMID, nullptr);
    if (memory != reinterpret_cast<void*>(-1)) {
      segment.shmaddr = shared->data = static_cast<char*>(memory);
      segment.readOnly = True;
      const int errors_before = g_x_errors;
      if (XShmAttach(display, &segment)) {
        XSync(display, False);
        if (g_x_errors == errors_before && shared->bytes_per_line == image->bytes_per_line) {
          std::memcpy(memory, image->data, bytes);
          XShmPutImage(display, pixmap, gc, shared, 0, 0, 0, 0, static_cast<unsigned>(image->width),
                       static_cast<unsigned>(image->height), False);
          XSync(display, False);
          shown = g_x_errors == errors_before;
        }
        XShmDetach(display, &segment);
        XSync(display, False);
      }
      // A server that cannot attach (another machine's) is no failure of ours.
      g_x_errors = errors_before;
      ::shmdt(memory);
    }
  }
  shared->data = nullptr;
  XDestroyImage(shared);
  return shown;
}

// `image` in a new pixmap, which becomes the root window's background and
// is published in both properties.
void ShowOnRootWindow(Display* display, Window root, int depth, Visual* visual,
                      const XImage* image) {
  const Atom root_pixmap_atom = XInternAtom(display, "_XROOTPMAP_ID", False);
  const Atom esetroot_atom = XInternAtom(display, "ESETROOT_PMAP_ID", False);
  FreePublishedPixmap(display, root, root_pixmap_atom, esetroot_atom);

  const unsigned width = static_cast<unsigned>(image->width);
  const unsigned height = static_cast<unsigned>(image->height);
  const Pixmap pixmap = XCreatePixmap(display, root, width, height, static_cast<unsigned>(depth));
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  if (!PutImageShared(display, pixmap, gc, visual, depth, image)) {
    XPutImage(display, pixmap, gc, const_cast<XImage*>(image), 0, 0, 0, 0, width, height);
  }
  XFreeGC(display, gc);

  XChangeProperty(display, root, root_pixmap_atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XChangeProperty(display, root, esetroot_atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
}

std::string SetRootWindowBackgroundHere(const std::string& display_name,
                                        const std::string& bitmap_path, const WallpaperLook& look) {
  // Errors are only noted until the display is closed.
  ScopedErrorHandler quiet_errors;
  const DisplayPtr owned_display(XOpenDisplay(display_name.c_str()));
  Display* display = owned_display.get();
  if (display == nullptr) return "cannot open X display " + display_name;

  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
    return "the X screen has no true-colour visual";
  }
  Pixels canvas;
  if (!ComposeCanvas(display, root, width, height, bitmap_path, look, &canvas))
    return "cannot read " + bitmap_path;

  ImagePtr image(XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                              static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0));
  if (!image) return "cannot make an X image";
  if (SameLayout(image.get(), visual, width)) {
    // The canvas is the image: no copy of a screen's worth of pixels. The
    // image gives the data back before it is destroyed.
    image->data = reinterpret_cast<char*>(canvas.data.data());
  } else {
    image->data =
        static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
    if (image->data == nullptr) return "out of memory for the X image";
    FillImage(image.get(), canvas, visual);
    canvas = Pixels();
  }
  const bool borrowed = image->data == reinterpret_cast<char*>(canvas.data.data());
  ShowOnRootWindow(display, root, depth, visual, image.get());
  if (borrowed) image->data = nullptr;
  image.reset();
  // Our pixmap must outlive this connection: the server keeps it.
  XSetCloseDownMode(display, RetainPermanent);
  XSync(display, False);
  return g_x_errors != 0 ? "the X server refused the background" : "";
}

// True when `window` says it is a desktop window.
bool IsDesktopWindow(Display* display, Window window, Atom type_atom, Atom desktop_atom) {
  const std::vector<unsigned long> types = Property32(display, window, type_atom, XA_ATOM, 16);
  return std::find(types.begin(), types.end(), desktop_atom) != types.end();
}

// The mapped desktop window among the root's children and their children
// (a window manager's frames), described; "" when there is none.
std::string CoverOfRootHere(const std::string& display_name) {
  ScopedErrorHandler quiet_errors;
  const DisplayPtr owned_display(XOpenDisplay(display_name.c_str()));
  Display* display = owned_display.get();
  if (display == nullptr) return "cannot open X display " + display_name;
  const Atom type_atom = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  const Atom desktop_atom = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  std::vector<Window> level = {DefaultRootWindow(display)};
  for (int depth = 0; depth < 2; ++depth) {
    std::vector<Window> next;
    for (Window parent : level) {
      Window root_return = 0;
      Window parent_return = 0;
      Window* children = nullptr;
      unsigned count = 0;
      if (!XQueryTree(display, parent, &root_return, &parent_return, &children, &count)) continue;
      const Owned<Window, XFree> owned_children(children);
      for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable) {
          continue;
        }
        next.push_back(children[i]);
        if (!IsDesktopWindow(display, children[i], type_atom, desktop_atom)) continue;
        XClassHint hint = {nullptr, nullptr};
        std::string name = "a desktop";
        if (XGetClassHint(display, children[i], &hint) && hint.res_class != nullptr)
          name = Lower(hint.res_class);
        if (hint.res_name != nullptr) XFree(hint.res_name);
        if (hint.res_class != nullptr) XFree(hint.res_class);
        return name + "'s desktop window";
      }
    }
    level.swap(next);
  }
  return "";
}

// What the child reports: a failure text, empty on success.
struct RootReport {
  char failure[512];
};

// The bitmap may be as large as the program accepts, and Xlib ends the
// process when its connection breaks: both stay in the child.
constexpr unsigned long long kChildMemoryBudget = 4ULL << 30;
constexpr int kChildTimeoutMs = 30000;

// The text `work` returns, computed in a child; `died` when the child died
// or hung.
template <typename Work>
std::string TextFromChild(Work work, const char* died) {
  RootReport report;
  const bool ran = RunInChild(
      [&] {
        RootReport result;
        std::snprintf(result.failure, sizeof result.failure, "%s", work().c_str());
        return result;
      },
      kChildMemoryBudget, kChildTimeoutMs, &report);
  if (!ran) return died;
  report.failure[sizeof report.failure - 1] = '\0';
  return report.failure;
}

}  // namespace

std::string SetRootWindowBackground(const std::string& display_name, const std::string& bitmap_path,
                                    const WallpaperLook& look) {
  if (display_name.empty()) return "no X display";
  return TextFromChild([&] { return SetRootWindowBackgroundHere(display_name, bitmap_path, look); },
                       "the X11 background process died or hung");
}

namespace {

// `canvas` as a bottom-up 24-bit bitmap at `path`, through a temporary
// beside it renamed over it.
bool WriteBitmap(const Pixels& canvas, const std::string& path) {
  const size_t stride = (static_cast<size_t>(canvas.width) * 3 + 3) & ~static_cast<size_t>(3);
  const uint32_t image_size = static_cast<uint32_t>(stride * canvas.height);
  unsigned char header[54] = {'B', 'M'};
  const auto put = [&header](int at, uint32_t value) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(value >> (8 * i));
  };
  put(2, 54 + image_size);
  put(10, 54);
  put(14, 40);
  put(18, static_cast<uint32_t>(canvas.width));
  put(22, static_cast<uint32_t>(canvas.height));
  header[26] = 1;
  header[28] = 24;
  put(34, image_size);
  const std::string temporary = path + ".part";
  {
    const Owned<std::FILE, std::fclose> file(std::fopen(temporary.c_str(), "wb"));
    if (!file) return false;
    std::vector<unsigned char> line(stride, 0);
    bool written = std::fwrite(header, 1, sizeof header, file.get()) == sizeof header;
    for (int y = canvas.height - 1; written && y >= 0; --y) {
      const uint32_t* in = &canvas.data[static_cast<size_t>(y) * canvas.width];
      for (int x = 0; x < canvas.width; ++x) {
        line[x * 3] = static_cast<unsigned char>(in[x]);
        line[x * 3 + 1] = static_cast<unsigned char>(in[x] >> 8);
        line[x * 3 + 2] = static_cast<unsigned char>(in[x] >> 16);
      }
      written = std::fwrite(line.data(), 1, stride, file.get()) == stride;
    }
    if (!written || std::fflush(file.get()) != 0) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string MonitorsText(const std::vector<PixelRect>& monitors) {
  std::string text;
  for (const PixelRect& m : monitors) {
    if (!text.empty()) text += ", ";
    text += std::to_string(m.width) + "x" + std::to_string(m.height) + "+" + std::to_string(m.x) +
            "+" + std::to_string(m.y);
  }
  return text;
}

}  // namespace

std::string ComposeForScreen(const std::string& display_name, const std::string& bitmap_path,
                             const WallpaperLook& look, const std::string& out_path,
                             std::string* monitors) {
  if (display_name.empty()) return "no X display";
  struct ComposeReport {
    char failure[512];
    char monitors[512];
  };
  ComposeReport report;
  const bool ran = RunInChild(
      [&] {
        ComposeReport result = {};
        std::string failure;
        std::string text;
        ScopedErrorHandler quiet_errors;
        const DisplayPtr display(XOpenDisplay(display_name.c_str()));
        if (!display) {
          failure = "cannot open X display " + display_name;
        } else {
          const int screen = DefaultScreen(display.get());
          const Window root = RootWindow(display.get(), screen);
          std::vector<PixelRect> found = ReadMonitors(display.get(), root);
          const int width = DisplayWidth(display.get(), screen);
          const int height = DisplayHeight(display.get(), screen);
          text =
              MonitorsText(found.empty() ? std::vector<PixelRect>{{0, 0, width, height}} : found);
          Pixels canvas;
          if (!ComposeCanvas(display.get(), root, width, height, bitmap_path, look, &canvas)) {
            failure = "cannot read " + bitmap_path;
          } else if (!WriteBitmap(canvas, out_path)) {
            failure = "cannot write " + out_path;
          }
        }
        std::snprintf(result.failure, sizeof result.failure, "%s", failure.c_str());
        std::snprintf(result.monitors, sizeof result.monitors, "%s", text.c_str());
        return result;
      },
      kChildMemoryBudget, kChildTimeoutMs, &report);
  if (!ran) return "the composing process died or hung";
  report.failure[sizeof report.failure - 1] = '\0';
  report.monitors[sizeof report.monitors - 1] = '\0';
  *monitors = report.monitors;
  return report.failure;
}

std::string RootWindowCover(const std::string& display_name) {
  if (display_name.empty()) return "no X display";
  return TextFromChild([&] { return CoverOfRootHere(display_name); },
                       "the X11 process died or hung");
}

std::string DescribeRootMonitors(const std::string& display_name) {
  if (display_name.empty()) return "no X display";
  return TextFromChild(
      [&]() -> std::string {
        ScopedErrorHandler quiet_errors;
        const DisplayPtr display(XOpenDisplay(display_name.c_str()));
        if (!display) return "cannot open X display " + display_name;
        const int screen = DefaultScreen(display.get());
        std::vector<PixelRect> monitors =
            ReadMonitors(display.get(), RootWindow(display.get(), screen));
        if (monitors.empty()) {
          monitors.push_back(
              {0, 0, DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen)});
        }
        return MonitorsText(monitors);
      },
      "the X11 process died or hung");
}
