// The preview: the parser splits the job, this observer writes what each
// piece prints as text.
#include "escpos/preview.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "escpos/barcode.h"
#include "escpos/parser.h"

namespace escpos {
namespace {

constexpr int kColumnDots = 12;  // Font A, the unit of ESC $ and ESC \ columns.
constexpr int kTabColumns = 8;
constexpr size_t kSegmentBytes = 4096;  // Text converted at once.
constexpr char kTimes[] = "\xC3\x97";   // U+00D7 MULTIPLICATION SIGN.

// Appends `utf8` with broken sequences as U+FFFD and control characters left out.
void AppendClean(std::string& out, std::string_view utf8) {
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    const size_t len = b < 0x80         ? 1
                       : (b >> 5) == 6  ? 2
                       : (b >> 4) == 14 ? 3
                       : (b >> 3) == 30 ? 4
                                        : 0;
    bool ok = len > 0 && i + len <= utf8.size();
    for (size_t k = 1; ok && k < len; ++k) ok = (static_cast<uint8_t>(utf8[i + k]) & 0xC0) == 0x80;
    if (ok && len == 2) ok = b >= 0xC2 && !(b == 0xC2 && static_cast<uint8_t>(utf8[i + 1]) < 0xA0);
    if (ok && len == 3) {
      const auto b1 = static_cast<uint8_t>(utf8[i + 1]);
      ok = !(b == 0xE0 && b1 < 0xA0) && !(b == 0xED && b1 >= 0xA0);
    }
    if (ok && len == 4) {
      const auto b1 = static_cast<uint8_t>(utf8[i + 1]);
      ok = b <= 0xF4 && !(b == 0xF0 && b1 < 0x90) && !(b == 0xF4 && b1 >= 0x90);
    }
    if (!ok) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (len > 1 || (b >= 0x20 && b != 0x7F)) out.append(utf8.substr(i, len));
    i += len;
  }
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

class Previewer : private StreamObserver {
 public:
  Previewer(unsigned code_page, const ToUtf8& to_utf8)
      : code_page_(code_page), to_utf8_(to_utf8), multi_byte_(code_page == 949) {
    parser_.set_observer(this);
  }

  // False once the preview is full.
  bool Feed(std::string_view bytes) {
    std::vector<Command> commands;
    parser_.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &commands);
    return !full_;
  }

  std::string Finish() {
    unknown_ += parser_.PendingBytes();
    EndLine(false);
    while (!out_.empty() && out_.back() == '\n') out_.pop_back();
    if (full_) {
      out_.resize(std::min(out_.size(), kMaxPreviewBytes));
      // Never end inside a character.
      while (!out_.empty() && (static_cast<uint8_t>(out_.back()) & 0xC0) == 0x80) out_.pop_back();
      if (!out_.empty() && static_cast<uint8_t>(out_.back()) >= 0xC0) out_.pop_back();
      if (!out_.empty()) out_ += '\n';
      out_ += kPreviewCut;
    }
    return std::move(out_);
  }

 private:
  // --- Text and lines ---------------------------------------------------

  void OnText(const uint8_t* data, size_t len) override {
    for (size_t i = 0; i < len && !full_; ++i) {
      const uint8_t b = data[i];
      if (b == '\n') {
        EndLine(true);
      } else if (b == '\r') {
        // CR LF ends the line at its LF; a lone CR prints nothing.
      } else if (b == '\t') {
        MoveTo((columns_ / kTabColumns + 1) * kTabColumns);
      } else if (b < 0x20 || b == 0x7F) {
        ++unknown_;
      } else {
        FlushUnknown();
        segment_ += static_cast<char>(b);
        ++columns_;
        if (segment_.size() >= kSegmentBytes && b < 0x80) FlushSegment();
      }
    }
  }

  void FlushSegment() {
    if (segment_.empty()) return;
    const unsigned cp = code_page_ == 949 && !multi_byte_ ? 437 : code_page_;
    if (IsAscii(segment_) || !to_utf8_) {
      AppendClean(line_, IsAscii(segment_) ? segment_ : std::string(segment_.size(), '?'));
    } else {
      AppendClean(line_, to_utf8_(segment_, cp));
    }
    segment_.clear();
    Check();
  }

  void FlushUnknown() {
    if (unknown_ == 0) return;
    FlushSegment();
    line_ += "[unknown bytes: " + std::to_string(unknown_) + "]";
    unknown_ = 0;
    after_block_ = false;
    band_.width = 0;
  }

  // Ends the line; an empty one shows only when `explicit_break` (a LF) asks
  // for it, never twice in a row and never right after a block line.
  void EndLine(bool explicit_break) {
    FlushUnknown();
    FlushSegment();
    while (line_.ends_with(' ')) line_.pop_back();
    if (line_.empty()) {
      if (explicit_break && !after_block_ && !out_.empty() && !out_.ends_with("\n\n")) {
        out_ += '\n';
        band_.width = 0;
      }
      after_block_ = false;
    } else {
      out_ += line_;
      out_ += '\n';
      line_.clear();
      after_block_ = false;
      band_.width = 0;
    }
    columns_ = 0;
    Check();
  }

  // A line of its own: a code, an image, a cut.
  void Block(const std::string& text) {
    EndLine(false);
    out_ += text;
    out_ += '\n';
    after_block_ = true;
    band_.width = 0;
    Check();
  }

  // Spaces up to `column`; one space when the line is already past it.
  void MoveTo(int column) {
    FlushUnknown();
    FlushSegment();
    if (column > columns_) {
      const int add = std::min(column, 4 * 48) - columns_;
      if (add > 0) line_.append(static_cast<size_t>(add), ' ');
      columns_ = std::max(columns_, column);
    } else if (!line_.empty() && !line_.ends_with(' ')) {
      line_ += ' ';
      ++columns_;
    }
  }

  void Check() {
    if (out_.size() + line_.size() > kMaxPreviewBytes) full_ = true;
  }

  // --- Commands -------------------------------------------------------------

  void OnPayload(const Command& cmd, const uint8_t* data, size_t len) override {
    const bool wanted = (cmd.prefix == kGs && (cmd.code == 'k' || cmd.code == '(')) ||
                        (cmd.prefix == kEsc && cmd.code == 'Z');
    if (!wanted) return;
    const size_t take =
        std::min(len, kMaxDataShown + 1 - std::min(collected_.size(), kMaxDataShown + 1));
    collected_.append(reinterpret_cast<const char*>(data), take);
  }

  void OnCommand(const Command& cmd) override {
    if (full_) return;
    if (!cmd.known) {
      unknown_ += cmd.length;
    } else if (cmd.prefix == kEsc) {
      Esc(cmd);
    } else if (cmd.prefix == kGs) {
      Gs(cmd);
    } else if (cmd.prefix == kFs) {
      Fs(cmd);
    }
    collected_.clear();
  }

  void Esc(const Command& cmd) {
    const auto word = [&](size_t i) { return cmd.header[i] | (cmd.header[i + 1] << 8); };
    switch (cmd.code) {
      case '@':
        FlushSegment();
        multi_byte_ = code_page_ == 949;
        break;
      case 'J':
      case 'd':
        if (!line_.empty() || !segment_.empty() || unknown_ > 0) EndLine(false);
        break;
      case 'i':
      case 'm':
        Block(std::string(kCutMarker));
        break;
      case '$':
        MoveTo(word(0) / kColumnDots);
        break;
      case '\\': {
        const int dots = static_cast<int16_t>(word(0));
        MoveTo(columns_ + std::max(dots / kColumnDots, 0));
        break;
      }
      case '*':
        BitImageBand(cmd);
        break;
      case 'Z':  // ESC Z v l s dL dH data, the symbol GS Z chose.
        Symbol(SymbolName(static_cast<uint8_t>(48 + (z_type_ == 2   ? 1
                                                     : z_type_ == 1 ? 6
                                                                    : 0))),
               collected_);
        break;
      default:
        break;
    }
  }

  void Fs(const Command& cmd) {
    if (cmd.code == '&' || cmd.code == '.') {
      FlushSegment();
      multi_byte_ = cmd.code == '&';
    } else if (cmd.code == 'p') {
      Block(std::string(kStoredImageMarker));
    }
  }

  void Gs(const Command& cmd) {
    const auto word = [&](size_t i) { return cmd.header[i] | (cmd.header[i + 1] << 8); };
    switch (cmd.code) {
      case 'V':
        Block(std::string(kCutMarker));
        break;
      case 'k':
        Barcode(cmd);
        break;
      case 'v':
      case 'Q':  // GS v 0 / GS Q 0 m xL xH yL yH: x bytes per row.
        if (cmd.header_len >= 6) Image(word(2) * 8, word(4));
        break;
      case '*':  // GS * x y: defines the image GS / prints.
        downloaded_ = {cmd.header[0] * 8, cmd.header[1] * 8};
        break;
      case '/':
        if (downloaded_[0] > 0) {
          Image(downloaded_[0], downloaded_[1]);
        } else {
          Block(std::string(kStoredImageMarker));
        }
        break;
      case 'Z':
        z_type_ = cmd.n();
        break;
      case '8':
      case '(':
        if (auto g = GraphicsOf(cmd)) {
          Graphics(*g);
        } else if (cmd.code == '(' && cmd.header_len >= 5 && cmd.header[0] == 'k') {
          TwoDimensional(cmd);
        }
        break;
      default:
        break;
    }
  }

  void Graphics(const escpos::Graphics& g) {
    switch (g.fn) {
      case kGraphicsStoreRaster:
      case 113:  // The same in column format.
        // Further colours of the same image add no size of their own.
        if (g.color <= 49 || buffered_[0] == 0) buffered_ = {g.width, g.height};
        break;
      case kGraphicsPrintBuffer:
        if (buffered_[0] > 0) Image(buffered_[0], buffered_[1]);
        buffered_ = {0, 0};
        break;
      case 69:  // Print NV graphics.
      case 85:  // Print download graphics.
        Block(std::string(kStoredImageMarker));
        break;
      default:
        break;
    }
  }

  void TwoDimensional(const Command& cmd) {
    const uint8_t cn = cmd.header[3];
    const uint8_t fn = cmd.header[4];
    if (cn < 48 || cn > 54) return;
    std::string& stored = stored_[cn - 48];
    if (fn == 80) {
      // The first data bytes came with the header, after cn fn m.
      stored.assign(
          reinterpret_cast<const char*>(cmd.header.data()) + std::min<size_t>(cmd.header_len, 6),
          cmd.header_len > 6 ? cmd.header_len - 6 : 0);
      stored += collected_;
    } else if (fn == 81) {
      Symbol(SymbolName(cn), stored);
    }
  }

  void Barcode(const Command& cmd) {
    const uint8_t m = cmd.n();
    std::string data = collected_;
    if (m <= 6 && !data.empty() && data.back() == '\0') data.pop_back();
    std::string text, why;
    if ((m == 73 || m == 74) && data.size() <= kMaxDataShown && Code128Text(data, &text, &why)) {
      data = text;
    }
    const char* name = BarcodeName(m);
    Symbol(name != nullptr ? name : "barcode", data);
  }

  void Symbol(const char* name, const std::string& data) {
    std::string text = "[";
    text += name;
    if (!data.empty()) {
      text += ": ";
      const std::string_view shown(data.data(), std::min(data.size(), kMaxDataShown));
      std::string utf8;
      AppendClean(utf8, shown);
      const bool valid = utf8.find("\xEF\xBF\xBD") == std::string::npos;
      if (!valid && to_utf8_) {
        utf8.clear();
        AppendClean(utf8, to_utf8_(shown, code_page_));
      }
      text += utf8;
      if (data.size() > kMaxDataShown) text += "\xE2\x80\xA6";  // U+2026 ELLIPSIS.
    }
    Block(text + "]");
  }

  void Image(int width, int height) {
    Block("[image " + std::to_string(width) + kTimes + std::to_string(height) + "]");
  }

  // ESC * prints one band of 8 or 24 dots; the bands a client sends one
  // under the other, each with its line end, show as one image.
  void BitImageBand(const Command& cmd) {
    if (cmd.header_len < 3) return;
    const int m = cmd.header[0];
    const int width = cmd.header[1] | (cmd.header[2] << 8);
    const int height = m >= 32 ? 24 : 8;
    if (band_.width == width && line_.empty() && segment_.empty() && unknown_ == 0) {
      out_.resize(band_.at);
      band_.height += height;
    } else {
      EndLine(false);
      band_ = {width, height, out_.size()};
    }
    const Band band = band_;
    Image(width, band.height);
    band_ = band;
  }

  struct Band {
    int width = 0;  // 0: the last line is no band image.
    int height = 0;
    size_t at = 0;  // Where its line starts in out_.
  };

  const unsigned code_page_;
  const ToUtf8& to_utf8_;
  EscPosParser parser_;
  bool multi_byte_;
  std::string out_;
  std::string line_;     // UTF-8 of the line so far.
  std::string segment_;  // Text bytes not converted yet.
  int columns_ = 0;      // Cells of the line so far.
  uint64_t unknown_ = 0;
  bool after_block_ = false;
  bool full_ = false;
  Band band_;
  std::string collected_;                // Data of the command being received.
  std::array<std::string, 7> stored_;    // GS ( k fn 80 data by cn 48..54.
  std::array<int, 2> buffered_{0, 0};    // GS ( L fn 112 image in the buffer.
  std::array<int, 2> downloaded_{0, 0};  // GS * image.
  int z_type_ = 0;                       // GS Z: 0 PDF417, 1 DataMatrix, 2 QR.
};

}  // namespace

std::string PreviewText(std::string_view job, unsigned codePage, const ToUtf8& toUtf8) {
  Previewer previewer(codePage, toUtf8);
  constexpr size_t kChunk = 64 * 1024;
  for (size_t at = 0; at < job.size(); at += kChunk) {
    if (!previewer.Feed(job.substr(at, kChunk))) break;
  }
  return previewer.Finish();
}

namespace {

// Watches a job's text bytes for TextCodePage.
class CodePageGuess : private StreamObserver {
 public:
  explicit CodePageGuess(std::string_view job) {
    parser_.set_observer(this);
    std::vector<Command> commands;
    parser_.Feed(reinterpret_cast<const uint8_t*>(job.data()), job.size(), &commands);
  }

  unsigned Result(unsigned fallback) const {
    if (chosen_ != 0) return chosen_;
    if (!high_) return fallback;
    return pairs_ && lead_ == 0 ? 949u : 437u;
  }

 private:
  static bool IsTrail(uint8_t b) {
    return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
  }

  void OnText(const uint8_t* data, size_t len) override {
    for (size_t i = 0; i < len && chosen_ == 0; ++i) {
      const uint8_t b = data[i];
      if (lead_ != 0) {
        pairs_ = pairs_ && IsTrail(b);
        lead_ = 0;
      } else if (b >= 0x80) {
        high_ = true;
        if (b >= 0x81 && b <= 0xFE) {
          lead_ = b;
        } else {
          pairs_ = false;
        }
      }
    }
  }
  void OnPayload(const Command&, const uint8_t*, size_t) override {}
  void OnCommand(const Command& cmd) override {
    if (lead_ != 0) pairs_ = false;  // a lead byte cut off by a command
    lead_ = 0;
    if (chosen_ == 0 && cmd.prefix == kFs && (cmd.code == '&' || cmd.code == '.'))
      chosen_ = cmd.code == '&' ? 949u : 437u;
  }

  EscPosParser parser_;
  unsigned chosen_ = 0;
  bool high_ = false;
  bool pairs_ = true;
  uint8_t lead_ = 0;
};

}  // namespace

unsigned TextCodePage(std::string_view job, unsigned fallback) {
  return CodePageGuess(job).Result(fallback);
}

}  // namespace escpos
