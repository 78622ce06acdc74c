#include "platform/desktop/x11_root_posix.h"

// Google Test first: Xlib's None macro would break its own None type.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <FreeImage.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/desktop/desktop_posix.h"
#include "platform/desktop/process_window.h"
#include "support/test_pictures.h"
#include "support/test_support.h"
#include "support/virtual_screen.h"

namespace {

// The four-colour picture written as a Windows bitmap of `bits` bits a pixel.
void WriteQuadrantBitmap(const std::string& path, int width, int height, int bits = 24) {
  FIBITMAP* dib = QuadrantBitmap(width, height);
  if (bits == 8) {
    FIBITMAP* palette = FreeImage_ColorQuantizeEx(dib, FIQ_NNQUANT, 16);
    FreeImage_Unload(dib);
    dib = palette;
  } else if (bits == 32) {
    FIBITMAP* wide = FreeImage_ConvertTo32Bits(dib);
    FreeImage_Unload(dib);
    dib = wide;
  }
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, dib, path.c_str(), 0));
  FreeImage_Unload(dib);
}

// One Xvfb of 320x240 at 24 bits for the whole suite, on a display number
// it chooses itself (-displayfd), stopped at the end.
class X11Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    screen_ = new VirtualScreen("320x240x24");
    display_ = screen_->display();
    xvfb_missing_ = screen_->missing();
  }

  static void TearDownTestSuite() {
    delete screen_;
    screen_ = nullptr;
  }

  void SetUp() override {
    if (xvfb_missing_) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    x_ = XOpenDisplay(display_.c_str());
    ASSERT_NE(nullptr, x_);
  }
  void TearDown() override {
    if (x_ != nullptr) XCloseDisplay(x_);
  }

  // The colour the root window shows at (x, y).
  Rgb RootPixel(int x, int y) {
    XImage* image = XGetImage(x_, DefaultRootWindow(x_), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return {-1, -1, -1};
    const unsigned long pixel = XGetPixel(image, 0, 0);
    const Rgb c = {static_cast<int>((pixel & image->red_mask) >> 16),
                   static_cast<int>((pixel & image->green_mask) >> 8),
                   static_cast<int>(pixel & image->blue_mask)};
    XDestroyImage(image);
    return c;
  }

  void ExpectQuadrants() {
    EXPECT_EQ(kRed, RootPixel(80, 60));
    EXPECT_EQ(kGreen, RootPixel(240, 60));
    EXPECT_EQ(kBlue, RootPixel(80, 180));
    EXPECT_EQ(kWhite, RootPixel(240, 180));
    EXPECT_EQ(kRed, RootPixel(0, 0));
    EXPECT_EQ(kWhite, RootPixel(319, 239));
  }

  Pixmap Published(const char* name) {
    const Atom property = XInternAtom(x_, name, True);
    if (property == None) return None;
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    Pixmap pixmap = None;
    if (XGetWindowProperty(x_, DefaultRootWindow(x_), property, 0, 1, False, XA_PIXMAP, &type,
                           &format, &items, &after, &data) == Success &&
        data != nullptr && items == 1) {
      pixmap = *reinterpret_cast<Pixmap*>(data);
    }
    if (data != nullptr) XFree(data);
    return pixmap;
  }

  // False when the server no longer knows `pixmap`.
  bool PixmapExists(Pixmap pixmap) {
    static int errors;
    errors = 0;
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
      ++errors;
      return 0;
    });
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    const Status ok = XGetGeometry(x_, pixmap, &root, &x, &y, &width, &height, &border, &depth);
    XSync(x_, False);
    XSetErrorHandler(previous);
    return ok != 0 && errors == 0;
  }

  static VirtualScreen* screen_;
  static std::string display_;
  static bool xvfb_missing_;
  Display* x_ = nullptr;
  ScopedTempDir dir_;
};

std::string X11Test::display_;
VirtualScreen* X11Test::screen_ = nullptr;
bool X11Test::xvfb_missing_ = false;

TEST_F(X11Test, RootWindowShowsThePictureFreesThePreviousOneAndKeepsItOnAFailure) {
  // Same proportions as the screen: scaled five times.
  WriteQuadrantBitmap(dir_.Join("a.bmp"), 64, 48);
  ASSERT_EQ("", SetRootWindowBackground(display_, dir_.Join("a.bmp"), {}));
  ExpectQuadrants();
  const Pixmap first = Published("_XROOTPMAP_ID");
  ASSERT_NE(static_cast<Pixmap>(None), first);
  EXPECT_EQ(first, Published("ESETROOT_PMAP_ID"));
  EXPECT_TRUE(PixmapExists(first));  // kept after the setter's connection closed

  // Wider than the screen, and with a palette: covered, the sides cut off.
  WriteQuadrantBitmap(dir_.Join("b.bmp"), 400, 60, 8);
  ASSERT_EQ("", SetRootWindowBackground(display_, dir_.Join("b.bmp"), {}));
  ExpectQuadrants();
  const Pixmap second = Published("_XROOTPMAP_ID");
  EXPECT_NE(first, second);
  EXPECT_EQ(second, Published("ESETROOT_PMAP_ID"));
  EXPECT_FALSE(PixmapExists(first));
  EXPECT_TRUE(PixmapExists(second));

  // Taller than the screen, and smaller.
  WriteQuadrantBitmap(dir_.Join("c.bmp"), 10, 30);
  ASSERT_EQ("", SetRootWindowBackground(display_, dir_.Join("c.bmp"), {}));
  ExpectQuadrants();
  EXPECT_FALSE(PixmapExists(second));

  // 32 bits a pixel, and rows stored top-down (a negative height): read
  // without FreeImage, as 24 bits are.
  WriteQuadrantBitmap(dir_.Join("d.bmp"), 64, 48, 32);
  ASSERT_EQ("", SetRootWindowBackground(display_, dir_.Join("d.bmp"), {}));
  ExpectQuadrants();
  WriteQuadrantBitmap(dir_.Join("e.bmp"), 4, 4);
  std::string flipped = ReadFileBytes(dir_.Join("e.bmp"));
  const size_t offset = static_cast<unsigned char>(flipped[10]);
  std::string rows = flipped.substr(offset);
  for (int y = 0; y < 4; ++y) rows.replace(y * 12, 12, flipped.substr(offset + (3 - y) * 12, 12));
  flipped = flipped.substr(0, offset) + rows;
  flipped[22] = static_cast<char>(-4);  // height -4: 0xFFFFFFFC
  flipped[23] = flipped[24] = flipped[25] = static_cast<char>(0xFF);
  WriteFileBytes(dir_.Join("e.bmp"), flipped);
  ASSERT_EQ("", SetRootWindowBackground(display_, dir_.Join("e.bmp"), {}));
  ExpectQuadrants();

  // Failures leave the background alone.
  const Pixmap before = Published("_XROOTPMAP_ID");
  WriteFileBytes(dir_.Join("bad.bmp"), "not a bitmap");
  EXPECT_NE("", SetRootWindowBackground(display_, dir_.Join("bad.bmp"), {}));
  EXPECT_NE("", SetRootWindowBackground(display_, dir_.Join("missing.bmp"), {}));
  EXPECT_EQ("no X display", SetRootWindowBackground("", dir_.Join("a.bmp"), {}));
  EXPECT_EQ(before, Published("_XROOTPMAP_ID"));
  EXPECT_TRUE(PixmapExists(before));
  ExpectQuadrants();
}

TEST_F(X11Test, DesktopFallsBackToTheRootWindow) {
  const std::string bin = dir_.Join("bin");
  ASSERT_EQ(0, ::mkdir(bin.c_str(), 0755));
  WriteQuadrantBitmap(dir_.Join("Walp.bmp"), 64, 48);

  // No desktop recognised.
  PosixDesktop unknown({"PATH=" + bin, "DISPLAY=" + display_});
  EXPECT_EQ("", unknown.SetWallpaper(dir_.Join("Walp.bmp"), "", {}).failure);
  ExpectQuadrants();

  // The desktop's tool fails.
  std::ofstream(bin + "/gsettings") << "#!/bin/sh\nexit 1\n";
  ASSERT_EQ(0, ::chmod((bin + "/gsettings").c_str(), 0755));
  PosixDesktop gnome({"PATH=" + bin, "DISPLAY=" + display_, "XDG_CURRENT_DESKTOP=GNOME"});
  // Drawn from the bitmap: the copy, which the setting does not name, is not taken.
  const Pixmap before = Published("_XROOTPMAP_ID");
  const WallpaperOutcome outcome =
      gnome.SetWallpaper(dir_.Join("Walp.bmp"), dir_.Join("wallpaper-1.bmp"), {});
  EXPECT_EQ("", outcome.failure);
  EXPECT_FALSE(outcome.copy_taken);
  EXPECT_NE(before, Published("_XROOTPMAP_ID"));
  ExpectQuadrants();

  // Both fail: both are told.
  EXPECT_EQ("gsettings: exit status 1; X11 root window: cannot read " + dir_.Join("none.bmp"),
            gnome.SetWallpaper(dir_.Join("none.bmp"), "", {}).failure);
}

// Two monitors of different shapes with a gap between them (RandR 1.5
// monitors, as xrandr --setmonitor defines them): each style draws the
// four-colour picture into each monitor, span once across both, and what
// no monitor shows gets the background colour.
TEST_F(X11Test, EachMonitorIsFilledOnItsOwnInTheChosenStyle) {
  const std::string xrandr = "xrandr -d " + display_ + " ";
  if (std::system((xrandr + "--version >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "xrandr is not installed";
  ASSERT_EQ(0, std::system((xrandr + "--setmonitor left 160/40x240/60+0+0 screen").c_str()));
  ASSERT_EQ(0, std::system((xrandr + "--setmonitor right 120/30x200/50+200+20 none").c_str()));
  PosixDesktop unknown({"PATH=" + dir_.path(), "DISPLAY=" + display_});
  const std::vector<std::string> described = unknown.Describe({WallpaperStyle::kFit, 0});
  ASSERT_EQ(3u, described.size());
  EXPECT_EQ("monitors: 160x240+0+0, 120x200+200+20", described[2]);

  WriteQuadrantBitmap(dir_.Join("Walp.bmp"), 64, 48);
  const Rgb bars = {0x33, 0x66, 0x99};
  struct Sample {
    int x, y;
    Rgb colour;
  };
  struct Case {
    WallpaperStyle style;
    std::vector<Sample> samples;
  };
  const Case cases[] = {
      // Covered, cut at the sides: each monitor shows the middle of the picture.
      {WallpaperStyle::kFill,
       {{40, 60, kRed},
        {120, 60, kGreen},
        {40, 180, kBlue},
        {120, 180, kWhite},
        {230, 70, kRed},
        {290, 70, kGreen},
        {230, 170, kBlue},
        {290, 170, kWhite},
        {180, 120, bars},
        {250, 5, bars},
        {250, 235, bars}}},
      {WallpaperStyle::kFit,
       {{40, 90, kRed},
        {120, 90, kGreen},
        {40, 150, kBlue},
        {120, 150, kWhite},
        {80, 20, bars},
        {80, 220, bars},
        {230, 95, kRed},
        {290, 145, kWhite},
        {260, 40, bars},
        {180, 120, bars}}},
      {WallpaperStyle::kCenter,
       {{60, 105, kRed},
        {100, 105, kGreen},
        {60, 135, kBlue},
        {100, 135, kWhite},
        {20, 20, bars},
        {240, 105, kRed},
        {280, 135, kWhite},
        {210, 30, bars}}},
      {WallpaperStyle::kTile,
       {{10, 10, kRed},
        {40, 10, kGreen},
        {70, 10, kRed},
        {10, 30, kBlue},
        {10, 58, kRed},
        {210, 30, kRed},
        {240, 30, kGreen},
        {210, 50, kBlue},
        {180, 10, bars}}},
      // Once across both: the screen's quadrants, where a monitor is.
      {WallpaperStyle::kSpan,
       {{80, 60, kRed},
        {240, 60, kGreen},
        {80, 180, kBlue},
        {240, 180, kWhite},
        {180, 120, bars},
        {250, 5, bars}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WallpaperStyleName(c.style));
    ASSERT_EQ("", unknown.SetWallpaper(dir_.Join("Walp.bmp"), "", {c.style, 0x336699}).failure);
    for (const Sample& sample : c.samples) {
      EXPECT_EQ(sample.colour, RootPixel(sample.x, sample.y)) << sample.x << "," << sample.y;
    }
  }
  // The monitors go with the server; removing them is a courtesy to the
  // cases after this one.
  for (const char* name : {"right", "left"}) {
    if (std::system((xrandr + "--delmonitor " + name).c_str()) != 0) continue;
  }
}

// A later instance brings the first one forward by its process id: the
// window of the process itself, or of a child of it (its message box).
TEST_F(X11Test, TheWindowOfAProcessOrOfItsChildIsActivatedAndFocused) {
  const pid_t child = ::fork();  // stands for the message box's program
  if (child == 0) ::_exit(::pause());
  const auto window_of = [this](long pid) {
    const Window window = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 10, 10, 0, 0, 0);
    XChangeProperty(x_, window, XInternAtom(x_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XMapWindow(x_, window);
    return window;
  };
  const Window box = window_of(child);
  const Window init = window_of(1);
  XSelectInput(x_, DefaultRootWindow(x_), SubstructureNotifyMask);
  XSync(x_, False);
  ASSERT_EQ(0, ::setenv("DISPLAY", display_.c_str(), 1));  // no other test here reads it

  const auto focus_after_bringing_forward = [this](pid_t pid) {
    BringWindowOfProcessForward(static_cast<unsigned long>(pid));
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x_, &focus, &revert);
    return focus;
  };
  EXPECT_EQ(box, focus_after_bringing_forward(::getpid()));
  XEvent asked;  // of the window manager, which would activate it
  ASSERT_TRUE(XCheckTypedWindowEvent(x_, box, ClientMessage, &asked));
  EXPECT_EQ(XInternAtom(x_, "_NET_ACTIVE_WINDOW", False), asked.xclient.message_type);
  EXPECT_EQ(init, focus_after_bringing_forward(1));

  XDestroyWindow(x_, box);
  XDestroyWindow(x_, init);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

}  // namespace
