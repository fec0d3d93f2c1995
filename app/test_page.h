// The test page the application port check prints: a heading naming the
// port, a CODE39 barcode, three QR codes (left, centre, right) and a cut; and
// the stored banner picture of the developer print. Only bytes are made here,
// from the commands of links/escpos.h; each piece goes to the port with one
// write, in the order the page needs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "platform/system.h"

namespace app {

using Bytes = std::vector<uint8_t>;

enum Alignment : int { kAlignLeft = 0, kAlignCentre = 1, kAlignRight = 2 };
enum HriPosition : int { kHriNone = 0, kHriAbove = 1, kHriBelow = 2 };

// What the test page prints (the web address is ours, a neutral placeholder).
inline constexpr const char* kTestBarcodeData = "1234567890";
inline constexpr int kTestBarcodeHeight = 40;
inline constexpr int kTestBarcodeWidthDots = 512;
inline constexpr const char* kTestQrAddress = "https://portrelay.example/";
inline constexpr int kTestQrModuleSize = 4;
inline constexpr int kTestQrLevel = 0;
inline constexpr std::size_t kHeadingBufferSize = 256;
inline constexpr std::size_t kQrBufferSize = 8092;

// The banner: GS v 0 header for 512 x 309 dots, the rows, a short trailer.
inline constexpr std::size_t kTestPageImageSize = 19790;
extern const std::array<uint8_t, kTestPageImageSize> TestPageImage;

// GS w for a CODE39 of `dataLength` characters: a width of 6 or less is the
// module width itself; a larger one is a target in dots, and the module width
// (2 to 6) whose printed width comes closest below it is chosen, 1 when none fits.
int Code39ModuleWidth(std::size_t dataLength, int width);
// The whole barcode command (module width, height, alignment, HRI, GS k);
// empty when the HRI position is not 0, 1 or 2 or the data does not fit the
// one-byte length.
Bytes BarcodeBytes(const std::string& data, uint8_t symbology, int height, int width, int alignment,
                   int hri);

// Each returns whether its last write took every byte.
bool EmitBarcode(platform::SerialPort& port, const std::string& data, uint8_t symbology, int height,
                 int width, int alignment, int hri);
// `length` 0: the data up to its terminator. Seven writes.
bool EmitQrCode(platform::SerialPort& port, const std::string& data, std::size_t length,
                int moduleSize, int level, int alignment);
// The whole page in the code page's language; true when the final cut was
// written (the earlier writes are not judged).
bool WriteTestPage(platform::SerialPort& port, const std::string& portName, unsigned codePage,
                   platform::System& system);

}  // namespace app
