// PNG files through libpng's simplified API, which converts any colour
// type to grey on reading.
#include "tools/printer-sim/render/gray_image.h"

#include <png.h>

namespace printersim {

int WritePng(const std::string& path, const GrayImage& image, std::string* error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_GRAY;
  if (png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), image.width, nullptr) ==
      0) {
    *error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return -1;
  }
  return 0;
}

int ReadPng(const std::string& path, GrayImage* image, std::string* error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
    *error = "cannot read " + path + ": " + png.message;
    return -1;
  }
  png.format = PNG_FORMAT_GRAY;
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->pixels.assign(PNG_IMAGE_SIZE(png), 0);
  if (png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) == 0) {
    *error = "cannot decode " + path + ": " + png.message;
    png_image_free(&png);
    return -1;
  }
  return 0;
}

}  // namespace printersim
