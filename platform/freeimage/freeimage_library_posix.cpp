#include "platform/freeimage/freeimage_library_posix.h"

#include <dlfcn.h>

#include <type_traits>

namespace {

// FreeImage reports decoder complaints here; nobody is to see them (the
// program's own message covers a picture that cannot be read).
void IgnoreFreeImageMessage(FREE_IMAGE_FORMAT, const char*) {}

}  // namespace

const FreeImageLibrary* LoadFreeImage() {
  static const FreeImageLibrary* const library = []() -> const FreeImageLibrary* {
    void* handle = ::dlopen("libfreeimage.so.3", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    static FreeImageLibrary loaded;
    bool complete = true;
    auto find = [&](auto* slot, const char* name) {
      void* symbol = ::dlsym(handle, name);
      complete = complete && symbol != nullptr;
      *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(symbol);
    };
    decltype(&FreeImage_Initialise) initialise = nullptr;
    find(&initialise, "FreeImage_Initialise");
    find(&loaded.SetOutputMessage, "FreeImage_SetOutputMessage");
    find(&loaded.FIFSupportsReading, "FreeImage_FIFSupportsReading");
    find(&loaded.FIFSupportsNoPixels, "FreeImage_FIFSupportsNoPixels");
    find(&loaded.FIFSupportsExportType, "FreeImage_FIFSupportsExportType");
    find(&loaded.Load, "FreeImage_Load");
    find(&loaded.LoadFromHandle, "FreeImage_LoadFromHandle");
    find(&loaded.SaveToHandle, "FreeImage_SaveToHandle");
    find(&loaded.GetWidth, "FreeImage_GetWidth");
    find(&loaded.GetHeight, "FreeImage_GetHeight");
    find(&loaded.GetImageType, "FreeImage_GetImageType");
    find(&loaded.GetScanLine, "FreeImage_GetScanLine");
    find(&loaded.ConvertToType, "FreeImage_ConvertToType");
    find(&loaded.ConvertTo32Bits, "FreeImage_ConvertTo32Bits");
    find(&loaded.RescaleRect, "FreeImage_RescaleRect");
    find(&loaded.Unload, "FreeImage_Unload");
    if (!complete) return nullptr;
    initialise(/*load_local_plugins_only=*/FALSE);
    loaded.SetOutputMessage(IgnoreFreeImageMessage);
    return &loaded;
  }();
  return library;
}
