// Fuzzing printer-sim's ESC/POS parser and its printer model with whatever a
// host may send: the stream cut into chunks anywhere, operator actions and
// the clock moving in between. The parser must end every command inside its
// chunk, and one stream gives the same commands however it is cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "escpos/parser.h"
#include "tools/printer-sim/printer.h"

namespace {

using escpos::Command;

std::vector<std::string> Names(const std::vector<Command>& commands) {
  std::vector<std::string> names;
  for (const Command& c : commands) names.push_back(c.Name() + " " + c.Argument());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const size_t cut = input.ConsumeIntegral<uint8_t>() + 1;
  const std::vector<uint8_t> stream = input.ConsumeRemainingBytes<uint8_t>();

  // Whole, then in chunks of `cut` bytes: the same commands.
  escpos::EscPosParser whole;
  std::vector<Command> all;
  whole.Feed(stream.data(), stream.size(), &all);
  for (const Command& c : all)
    if (c.end > stream.size()) std::abort();
  escpos::EscPosParser pieces;
  std::vector<Command> inPieces;
  for (size_t at = 0; at < stream.size(); at += cut) {
    const size_t n = std::min(cut, stream.size() - at);
    std::vector<Command> chunk;
    pieces.Feed(stream.data() + at, n, &chunk);
    for (const Command& c : chunk)
      if (c.end > n) std::abort();
    inPieces.insert(inPieces.end(), chunk.begin(), chunk.end());
  }
  if (Names(all) != Names(inPieces)) std::abort();

  // The printer model on the same stream, slowly printing, with the cover
  // and the paper changing between chunks.
  printersim::PrinterOptions options;
  options.print_rate = 2000;
  printersim::Printer printer(options);
  auto now = printersim::Clock::time_point{} + std::chrono::seconds(1);
  for (size_t at = 0; at < stream.size(); at += cut) {
    const size_t n = std::min(cut, stream.size() - at);
    printer.Receive(stream.data() + at, n, now);
    now += std::chrono::milliseconds(stream[at] % 50);
    switch (stream[at] % 7) {
      case 0:
        printer.SetCoverOpen(!printer.status().cover_open, now);
        break;
      case 1:
        printer.SetPaper(static_cast<printersim::PaperState>(stream[at] % 3), now);
        break;
      case 2:
        printer.SetPower(!printer.powered(), now);
        break;
      default:
        break;
    }
    printer.Advance(now);
    printer.TakeReplies();
  }
  if (printer.held_commands() > printersim::Printer::kMaxHeldCommands) std::abort();
  return 0;
}
