// The test page's bytes (see test_page.h).
#include "app/test_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/format.h"
#include "core/texts.h"

namespace app {
namespace {

bool Send(platform::SerialPort& port, const Bytes& bytes) {
  const int size = static_cast<int>(bytes.size());
  return port.Write(bytes.data(), size, 0) == size;
}

void Append(Bytes& out, const Bytes& piece) { out.insert(out.end(), piece.begin(), piece.end()); }

const Bytes& AlignmentBytes(int alignment) {
  if (alignment == kAlignLeft) return escpos::kAlignLeft;
  if (alignment == kAlignRight) return escpos::kAlignRight;
  return escpos::kAlignCentre;
}

// Dots per character (start and stop included) at module widths 2 to 6.
constexpr double kCode39DotsPerChar[] = {30.118, 46.545, 64.0, 85.333, 102.4};

// A text as the heading sends it: cut to its buffer, without the terminator.
Bytes HeadingBytes(const std::string& text) {
  const std::size_t n = std::min(text.size(), kHeadingBufferSize - 1);
  return Bytes(text.begin(), text.begin() + static_cast<long>(n));
}

}  // namespace

int Code39ModuleWidth(std::size_t dataLength, int width) {
  if (width <= 6) return width;
  const double chars = static_cast<double>(dataLength + 2);
  int chosen = 0;
  long best = 9999;
  for (int n = 2; n <= 6; ++n) {
    const long printed = std::lround(chars * kCode39DotsPerChar[n - 2]);
    if (printed > width) continue;
    const long leftover = width - printed;
    if (leftover < best) {
      best = leftover;
      chosen = n;
    }
  }
  return chosen ? chosen : 1;
}

Bytes BarcodeBytes(const std::string& data, uint8_t symbology, int height, int width, int alignment,
                   int hri) {
  if (hri != kHriNone && hri != kHriAbove && hri != kHriBelow) return {};
  if (data.size() > 255) return {};
  Bytes out;
  const int module = symbology == escpos::kCode39 ? Code39ModuleWidth(data.size(), width) : width;
  Append(out, {0x1D, 0x77, static_cast<uint8_t>(module)});
  Append(out, {0x1D, 0x68, static_cast<uint8_t>(std::clamp(height + 1, 0, 255))});
  Append(out, AlignmentBytes(alignment));
  Append(out, {0x1D, 0x48, static_cast<uint8_t>(0x30 + hri)});
  Append(out, {0x1D, 0x6B, symbology, static_cast<uint8_t>(data.size())});
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

bool EmitBarcode(platform::SerialPort& port, const std::string& data, uint8_t symbology, int height,
                 int width, int alignment, int hri) {
  const Bytes bytes = BarcodeBytes(data, symbology, height, width, alignment, hri);
  return !bytes.empty() && Send(port, bytes);
}

bool EmitQrCode(platform::SerialPort& port, const std::string& data, std::size_t length,
                int moduleSize, int level, int alignment) {
  // The symbol data goes through a buffer of fixed size: longer data is cut.
  Bytes buffer(kQrBufferSize, 0);
  std::memcpy(buffer.data(), data.data(), std::min(data.size(), kQrBufferSize));
  std::size_t n = length;
  if (n == 0) n = std::strlen(reinterpret_cast<const char*>(buffer.data()));
  n = std::min(n, kQrBufferSize - 1);
  buffer.resize(n);

  const std::size_t stored = n + 3;
  Send(port, AlignmentBytes(alignment));
  Send(port, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, static_cast<uint8_t>(moduleSize)});
  Send(port, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, static_cast<uint8_t>(48 + level)});
  Send(port, {0x1D, 0x28, 0x6B, static_cast<uint8_t>(stored % 256),
              static_cast<uint8_t>(stored / 256), 0x31, 0x50, 0x30});
  Send(port, buffer);
  Send(port, {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
  return Send(port, escpos::kLineEnd);
}

bool WriteTestPage(platform::SerialPort& port, const std::string& portName, unsigned codePage,
                   platform::System& system) {
  const std::string line1 = core::FormatText(
      core::Pick(system, codePage, core::texts::kTestPageLine1).c_str(), portName.c_str());
  Send(port, HeadingBytes(line1));
  Send(port, HeadingBytes(core::Pick(system, codePage, core::texts::kTestPageLine2)));
  Send(port, escpos::kFeed);
  EmitBarcode(port, kTestBarcodeData, escpos::kCode39, kTestBarcodeHeight, kTestBarcodeWidthDots,
              kAlignCentre, kHriBelow);
  Send(port, escpos::kFeed);
  for (int alignment : {kAlignLeft, kAlignCentre, kAlignRight})
    EmitQrCode(port, kTestQrAddress, 0, kTestQrModuleSize, kTestQrLevel, alignment);
  Send(port, escpos::kAlignLeft);
  return Send(port, escpos::kCut);
}

}  // namespace app
