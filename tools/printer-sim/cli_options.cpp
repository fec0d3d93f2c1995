// Option parsing and the user documentation of printer-sim.
#include "tools/printer-sim/cli_options.h"

#include <charconv>
#include <chrono>
#include <string_view>

namespace printersim {
namespace {

// A whole non-negative decimal number, nothing before or after it.
bool ParseCount(std::string_view text, uint64_t* out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int ParseCli(int argc, const char* const* argv, CliOptions* options, std::string* error) {
  SimConfig& config = options->config;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool has_value = false;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    auto next = [&](std::string_view* out) {
      if (has_value) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = std::string(arg) + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--tcp") {
      if (!next(&v)) return -1;
      config.tcp = std::string(v);
    } else if (arg == "--pty") {
      if (!next(&v)) return -1;
      config.pty = std::string(v);
    } else if (arg == "--profile") {
      if (!next(&v)) return -1;
      config.profile = FindProfile(v);
      if (config.profile == nullptr) {
        *error = "unknown profile '" + std::string(v) + "'";
        return -1;
      }
    } else if (arg == "--print-rate") {
      if (!next(&v)) return -1;
      if (!ParseCount(v, &config.print_rate)) {
        *error = "--print-rate wants a number of bytes per second";
        return -1;
      }
    } else if (arg == "--buffer") {
      if (!next(&v)) return -1;
      if (!ParseCount(v, &config.input_buffer)) {
        *error = "--buffer wants a number of bytes";
        return -1;
      }
    } else if (arg == "--record") {
      if (!next(&v)) return -1;
      config.record_path = std::string(v);
    } else if (arg == "--record-printed") {
      if (!next(&v)) return -1;
      config.printed_path = std::string(v);
    } else if (arg == "--render") {
      if (!next(&v)) return -1;
      config.render_dir = std::string(v);
      if (config.render_dir.empty()) {
        *error = "--render wants a folder";
        return -1;
      }
    } else if (arg == "--render-gap") {
      if (!next(&v)) return -1;
      uint64_t ms = 0;
      if (!ParseCount(v, &ms) || ms == 0 || ms > 3'600'000) {
        *error = "--render-gap wants milliseconds from 1 to 3600000";
        return -1;
      }
      config.render_gap = std::chrono::milliseconds(ms);
    } else if (arg == "--state") {
      if (!next(&v)) return -1;
      if (!ParseStateList(v, &config.initial, error)) return -1;
    } else if (arg == "--asb-survives-init") {
      config.init_clears_asb = false;
    } else {
      *error = "unknown option '" + std::string(argv[i]) + "'";
      return -1;
    }
  }
  if (options->help) return 0;
  if (config.tcp.empty() == config.pty.empty()) {
    *error = "give exactly one of --tcp HOST:PORT and --pty PATH";
    return -1;
  }
  return 0;
}

std::string HelpText() {
  std::string text = R"(printer-sim: ESC/POS receipt printer simulator

Usage: printer-sim (--tcp HOST:PORT | --pty PATH) [options]

Transports (exactly one):
  --tcp HOST:PORT   Raw TCP port like a network printer's port 9100. One
                    connection at a time; later connects wait in the backlog
                    until it closes. Port 0 picks a free port (see "listen").
  --pty PATH        Pseudo-terminal in raw mode; PATH becomes a symlink to its
                    /dev/pts/N (a stale link is replaced, the link is removed
                    on exit). Open PATH like a serial port; closing and
                    reopening it is fine.

Options:
  --profile NAME    ASB block variant (default: default), see Profiles.
  --print-rate N    "Print" N bytes per second (default 0: instant). Data-
                    order answers wait until the data before them is printed.
  --buffer N        Receive buffer of N bytes (default 0: unlimited). While N
                    bytes wait to be printed the printer reads nothing more,
                    so the host's writes stall (TCP window, pty queue) as on
                    a real printer. Use with --print-rate.
  --record FILE     Append every received byte, raw and in order, to FILE
                    (written through per received chunk).
  --record-printed FILE
                    Append every byte to FILE once it is printed (executed),
                    in order; bytes thrown away unprinted (power off while
                    they wait behind an open cover, a buffer clear) are left
                    out. What came out of the printer, not what reached it.
  --render DIR      Draw every printed job as a PNG picture of the 80 mm
                    receipt: DIR/job-0001.png, job-0002.png, ... (numbering
                    continues after files already there). A job ends at a cut
                    (drawn as a dashed line) or when printing pauses for the
                    gap; a "render" event names each file. Text (code page
                    949 Korean, code page 437), ESC ! / GS ! sizes, ESC E,
                    ESC -, GS B, ESC a, ESC J, ESC d, ESC 2/3, GS v 0 raster,
                    ESC * bit images, GS k barcodes, GS ( k QR codes.
  --render-gap MS   Pause that ends a job without a cut (default 1000).
  --state LIST      Initial state, comma-separated, option repeatable:
                    cover-open, paper-out, near-end, power-off, silent, split.
                    Example: --state cover-open,near-end
  --asb-survives-init
                    Keep ASB enabled across ESC @ (some clones do); by default
                    ESC @ disables it as on Epson printers.
  -h, --help        This text.

Standard input, one command per line (end of input does not quit):
  cover open | cover close        paper out | paper near-end | paper ok
  power off   TCP: drop the connection and close the port (connects are
              refused); pty: stop reading and answering. Data sent meanwhile
              is lost; queued print data, ASB and partial commands too.
  power on    Listen / read again (ASB starts disabled).
  silent on | silent off   Still receive, parse and record, but send nothing.
  split on | split off     Send each answer in two pieces 100 ms apart
                           (first half rounded down: 7 bytes go as 3 + 4).
  keepalive   Send the 9 bytes "_GET_TIME".
  drop        TCP: close the host's connection, as network printers close
              idle ones; the port keeps listening. Not on a pty.
  quit        Exit (so do SIGTERM and SIGINT).

Answers:
  DLE EOT n (10 04 n)  real time, also while off-line or busy printing:
      n=1 0x16 | 0x08 off-line          n=2 0x12 | 0x04 cover | 0x20 paper end
      n=3 0x12                          n=4 0x12 | 0x0C near end | 0x60 paper end
      (paper out reports near end too: n=4 gives 0x7E)
  DLE ENQ n            real time, no answer.
  DLE DC4 8 1 3 20 1 6 2 8   real time: clears unprinted data, answers 37 25 00.
  In data order, after everything received before them is printed:
  GS a n     n!=0: ASB on, one block at once and one at every status change;
             n=0: off. ESC @ also turns it off (see --asb-survives-init).
  GS ( H 06 00 30 30 d1 d2 d3 d4   process ID: 37 22 d1 d2 d3 d4 00.
  GS r n     1/49 paper sensor (0x03 near end, 0x0F paper end), 2/50 drawer
             0x00, 4/52 ink 0x00.        ESC u 0: 0x00.  ESC v: as GS r 1.
  GS I n     1/49 0x20, 2/50 0x02, 3/51 0x64, 65 "_1.00 ESC/POS\0",
             66 "_EPSON\0", 67 "_TM-T88V\0", 68 "_PSIM000001\0", 69 "_ANK\0".
  While the cover is open or the paper is out nothing is printed and these
  answers are held (DLE EOT still answered); they follow once it clears.
  Everything else is print data; command lengths (raster GS v 0, GS ( k,
  GS 8 L, ESC *, barcodes, ...) are honoured so payload bytes are never
  taken for commands.

Profiles (ASB blocks; byte 1 bits: 0x10 fixed, 0x04 drawer, 0x08 off-line,
0x20 cover, 0x40 feed; byte 3: 0x03 near end, 0x0C paper end):
)";
  for (const Profile& p : Profiles()) {
    text += "  " + std::string(p.name) + ": " + p.summary + "\n";
    text += "      normal " + BlockText(p.normal) + "   near-end " + BlockText(p.near_end) + "\n";
    text += "      cover-open " + BlockText(p.cover_open) + "   paper-out " +
            BlockText(p.paper_out) + "\n";
  }
  text += R"(  Cover open with a paper fault: the cover-open block with byte 3 of the
  paper block.

Events on standard output, one line each, flushed at once:
  listen tcp HOST:PORT | listen pty PATH /dev/pts/N    always the first line
  state cover=open|closed paper=ok|near-end|out power=on|off asb=on|off
        silent=on|off split=on|off                     at start and on change
  conn open PEER | conn close                          host (dis)connected
  rx N HEX       a received chunk of N bytes (hex of at most 64, then "...")
  cmd NAME [ARG] a recognised command, on reception: e.g. "cmd DLE_EOT 2",
                 "cmd GS_a 255", "cmd GS_(H 31323334" (process ID),
                 "cmd ESC_@", "cmd GS_v0 len=1208"; ARG is the parameter for
                 one-parameter commands, len=N (whole command) for longer ones
  tx N HEX       N answer bytes written
  drop N HEX REASON   an answer not sent: silent, no-link, power-off, ...
  discard N      bytes sent to the powered-off pty, thrown away at power on
  render FILE WxH cut|pause|end [clipped]
                 a job's picture was written (--render): ended by a cut, a
                 pause or the program's end; "clipped" when part of it fell
                 outside the paper (over 20000 rows, right of the edge)
  note TEXT      something sent was not drawn (a bad barcode, ...)
  error TEXT     a problem (unknown stdin command, socket error, ...)
  exit           the last line
)";
  return text;
}

}  // namespace printersim
