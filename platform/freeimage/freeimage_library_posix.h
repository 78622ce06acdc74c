#ifndef PLATFORM_FREEIMAGE_FREEIMAGE_LIBRARY_POSIX_H_
#define PLATFORM_FREEIMAGE_FREEIMAGE_LIBRARY_POSIX_H_

// FreeImage loaded with dlopen where pictures are handled (the decoder
// child, the X11 drawing child, the picture fuzzer), so that the program's
// start-up does not pay for linking it and its codec libraries.

#include <FreeImage.h>

// The FreeImage calls the program makes, looked up in the loaded library.
struct FreeImageLibrary {
  decltype(&FreeImage_SetOutputMessage) SetOutputMessage;
  decltype(&FreeImage_FIFSupportsReading) FIFSupportsReading;
  decltype(&FreeImage_FIFSupportsNoPixels) FIFSupportsNoPixels;
  decltype(&FreeImage_FIFSupportsExportType) FIFSupportsExportType;
  decltype(&FreeImage_Load) Load;
  decltype(&FreeImage_LoadFromHandle) LoadFromHandle;
  decltype(&FreeImage_SaveToHandle) SaveToHandle;
  decltype(&FreeImage_GetWidth) GetWidth;
  decltype(&FreeImage_GetHeight) GetHeight;
  decltype(&FreeImage_GetImageType) GetImageType;
  decltype(&FreeImage_GetScanLine) GetScanLine;
  decltype(&FreeImage_ConvertToType) ConvertToType;
  decltype(&FreeImage_ConvertTo32Bits) ConvertTo32Bits;
  decltype(&FreeImage_RescaleRect) RescaleRect;
  decltype(&FreeImage_Unload) Unload;
};

// Loads and initialises FreeImage on the first call; null when it cannot
// be loaded. Never unloaded: its plugins live as long as the process.
const FreeImageLibrary* LoadFreeImage();

#endif  // PLATFORM_FREEIMAGE_FREEIMAGE_LIBRARY_POSIX_H_
