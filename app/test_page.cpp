// The test page's bytes (see test_page.h).
#include "app/test_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/format.h"
#include "core/texts.h"
#include "links/escpos.h"

namespace app {
namespace {

bool Send(platform::SerialPort& port, const Bytes& bytes) {
  const int size = static_cast<int>(bytes.size());
  return port.Write(bytes.data(), size, 0) == size;
}

void Append(Bytes& out, const Bytes& piece) { out.insert(out.end(), piece.begin(), piece.end()); }

// A command of links/escpos.h followed by its arguments.
template <std::size_t N>
Bytes Command(const uint8_t (&command)[N], std::initializer_list<uint8_t> arguments = {}) {
  Bytes out(command, command + N);
  out.insert(out.end(), arguments);
  return out;
}

Bytes AlignmentBytes(int alignment) {
  if (alignment == kAlignLeft) return Command(links::kAlignLeft);
  if (alignment == kAlignRight) return Command(links::kAlignRight);
  return Command(links::kAlignCentre);
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
  const int module = symbology == links::kCode39 ? Code39ModuleWidth(data.size(), width) : width;
  Append(out, Command(links::kBarcodeModuleWidth, {static_cast<uint8_t>(module)}));
  Append(out,
         Command(links::kBarcodeHeight, {static_cast<uint8_t>(std::clamp(height + 1, 0, 255))}));
  Append(out, AlignmentBytes(alignment));
  Append(out, Command(links::kBarcodeHriPosition, {static_cast<uint8_t>(0x30 + hri)}));
  Append(out, Command(links::kBarcodePrint, {symbology, static_cast<uint8_t>(data.size())}));
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
  Send(port, Command(links::kQrModuleSize, {static_cast<uint8_t>(moduleSize)}));
  Send(port, Command(links::kQrErrorLevel, {static_cast<uint8_t>(48 + level)}));
  Bytes store = Command(links::kQrStoreLead,
                        {static_cast<uint8_t>(stored % 256), static_cast<uint8_t>(stored / 256)});
  Append(store, Command(links::kQrStoreFunction));
  Send(port, store);
  Send(port, buffer);
  Send(port, Command(links::kQrPrint));
  return Send(port, Command(links::kLineEnd));
}

bool WriteTestPage(platform::SerialPort& port, const std::string& portName, unsigned codePage,
                   platform::System& system) {
  const std::string line1 = core::FormatText(
      core::Pick(system, codePage, core::texts::kTestPageLine1).c_str(), portName.c_str());
  Send(port, HeadingBytes(line1));
  Send(port, HeadingBytes(core::Pick(system, codePage, core::texts::kTestPageLine2)));
  Send(port, Command(links::kFeed48));
  EmitBarcode(port, kTestBarcodeData, links::kCode39, kTestBarcodeHeight, kTestBarcodeWidthDots,
              kAlignCentre, kHriBelow);
  Send(port, Command(links::kFeed48));
  for (int alignment : {kAlignLeft, kAlignCentre, kAlignRight})
    EmitQrCode(port, kTestQrAddress, 0, kTestQrModuleSize, kTestQrLevel, alignment);
  Send(port, Command(links::kAlignLeft));
  return Send(port, Command(links::kCutPartial));
}

}  // namespace app
