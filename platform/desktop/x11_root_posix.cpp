#include "platform/desktop/x11_root_posix.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "picture/freeimage_library_posix.h"
#include "platform/owned_handle.h"
#include "platform/process/child_process_posix.h"

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

// The picture at `path` as 32-bit pixels of exactly width x height: scaled
// so that it covers the area, the overhang cut off evenly on both sides.
DibPtr CoverPicture(const std::string& path, int width, int height) {
  const FreeImageLibrary* freeimage = LoadFreeImage();
  if (freeimage == nullptr) return nullptr;
  DibPtr loaded(freeimage->Load(FIF_BMP, path.c_str(), 0));
  if (!loaded) return nullptr;
  DibPtr picture(freeimage->ConvertTo32Bits(loaded.get()));
  if (!picture) return nullptr;
  const long long source_width = freeimage->GetWidth(picture.get());
  const long long source_height = freeimage->GetHeight(picture.get());
  if (source_width == width && source_height == height) return picture;

  // The largest part of the picture with the screen's proportions.
  long long part_width = source_width;
  long long part_height = source_height;
  if (source_width * height > source_height * width) {
    part_width = (source_height * width + height / 2) / height;
  } else {
    part_height = (source_width * height + width / 2) / width;
  }
  if (part_width < 1) part_width = 1;
  if (part_height < 1) part_height = 1;
  const long long left = (source_width - part_width) / 2;
  const long long top = (source_height - part_height) / 2;
  return DibPtr(freeimage->RescaleRect(picture.get(), width, height, static_cast<int>(left),
                                       static_cast<int>(top), static_cast<int>(left + part_width),
                                       static_cast<int>(top + part_height), FILTER_BILINEAR,
                                       /*flags=*/0));
}

unsigned long Channel(int value, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1UL) == 0) ++shift;
  const unsigned long top = mask >> shift;
  return ((static_cast<unsigned long>(value) * top + 127) / 255) << shift;
}

// Copies the picture into a client-side image of the visual's format.
void FillImage(XImage* image, FIBITMAP* picture, const Visual* visual) {
  const FreeImageLibrary& freeimage = *LoadFreeImage();
  const int width = image->width;
  const int height = image->height;
  const bool direct =
      image->bits_per_pixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
      visual->blue_mask == 0xFF &&
      image->byte_order == (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst);
  for (int y = 0; y < height; ++y) {
    // FreeImage keeps its lines bottom-up.
    const BYTE* line = freeimage.GetScanLine(picture, height - 1 - y);
    if (direct) {
      auto* out =
          reinterpret_cast<uint32_t*>(image->data + static_cast<long>(y) * image->bytes_per_line);
      for (int x = 0; x < width; ++x) {
        const BYTE* p = line + x * 4;
        out[x] = (static_cast<uint32_t>(p[FI_RGBA_RED]) << 16) |
                 (static_cast<uint32_t>(p[FI_RGBA_GREEN]) << 8) | p[FI_RGBA_BLUE];
      }
    } else {
      for (int x = 0; x < width; ++x) {
        const BYTE* p = line + x * 4;
        XPutPixel(image, x, y,
                  Channel(p[FI_RGBA_RED], visual->red_mask) |
                      Channel(p[FI_RGBA_GREEN], visual->green_mask) |
                      Channel(p[FI_RGBA_BLUE], visual->blue_mask));
      }
    }
  }
}

// The pixmap published by the program that set the background last.
Pixmap PublishedPixmap(Display* display, Window root, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const bool read = XGetWindowProperty(display, root, property, 0, 1, False, AnyPropertyType, &type,
                                       &format, &items, &after, &data) == Success;
  const Owned<unsigned char, XFree> owned_data(data);
  if (read && type == XA_PIXMAP && format == 32 && items == 1 && data != nullptr)
    return *reinterpret_cast<Pixmap*>(data);
  return None;
}

std::string SetRootWindowBackgroundHere(const std::string& display_name,
                                        const std::string& bitmap_path) {
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
  DibPtr picture = CoverPicture(bitmap_path, width, height);
  if (!picture) return "cannot read " + bitmap_path;

  ImagePtr image(XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                              static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0));
  if (!image) return "cannot make an X image";
  image->data =
      static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
  if (image->data == nullptr) return "out of memory for the X image";
  FillImage(image.get(), picture.get(), visual);
  picture.reset();

  // The pixmap the last such program left behind is freed with the client
  // that still holds it, when both properties name it (the Esetroot rule,
  // which keeps us from killing a live program that shares its pixmap).
  const Atom root_pixmap_atom = XInternAtom(display, "_XROOTPMAP_ID", False);
  const Atom esetroot_atom = XInternAtom(display, "ESETROOT_PMAP_ID", False);
  const Pixmap old_root = PublishedPixmap(display, root, root_pixmap_atom);
  const Pixmap old_esetroot = PublishedPixmap(display, root, esetroot_atom);
  if (old_root != None && old_root == old_esetroot) {
    XKillClient(display, old_root);
    XSync(display, False);
    g_x_errors = 0;  // a pixmap already gone is no failure of ours
  }

  const Pixmap pixmap = XCreatePixmap(display, root, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), static_cast<unsigned>(depth));
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XPutImage(display, pixmap, gc, image.get(), 0, 0, 0, 0, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  XFreeGC(display, gc);
  image.reset();

  XChangeProperty(display, root, root_pixmap_atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XChangeProperty(display, root, esetroot_atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
  // Our pixmap must outlive this connection: the server keeps it.
  XSetCloseDownMode(display, RetainPermanent);
  XSync(display, False);
  return g_x_errors != 0 ? "the X server refused the background" : "";
}

// What the child reports: a failure text, empty on success.
struct RootReport {
  char failure[512];
};

// The bitmap may be as large as the program accepts, and Xlib ends the
// process when its connection breaks: both stay in the child.
constexpr unsigned long long kChildMemoryBudget = 4ULL << 30;
constexpr int kChildTimeoutMs = 30000;

}  // namespace

std::string SetRootWindowBackground(const std::string& display_name,
                                    const std::string& bitmap_path) {
  if (display_name.empty()) return "no X display";
  RootReport report;
  const bool ran = RunInChild(
      [&] {
        RootReport result;
        std::snprintf(result.failure, sizeof result.failure, "%s",
                      SetRootWindowBackgroundHere(display_name, bitmap_path).c_str());
        return result;
      },
      kChildMemoryBudget, kChildTimeoutMs, &report);
  if (!ran) return "the X11 background process died or hung";
  report.failure[sizeof report.failure - 1] = '\0';
  return report.failure;
}
