// Command length rules of the Epson ESC/POS command set, applied
// incrementally so that long payloads are skipped without buffering.
#include "escpos/parser.h"

#include <algorithm>
#include <string_view>

namespace escpos {
namespace {

// Fixed parameter counts of commands without a payload, by code byte;
// codes not listed take none (this includes unknown codes).
struct Arity {
  std::string_view codes;
  size_t params;
};
// ESC l and ESC Q (left and right margin) are not Epson's but some clients
// send them; GS Z selects the symbol ESC Z prints.
constexpr Arity kEscArity[] = {
    {" !%-3=?EGJKMQRTUVadelrtu{z", 1}, {"$\\cfB", 2}, {"p", 3}, {"W", 8}};
constexpr Arity kFsArity[] = {{"!-CW", 1}, {"Sp", 2}};
constexpr Arity kGsArity[] = {{"!/BEHITZabfhjrw", 1}, {"$LPW\\", 2}, {"^", 3}};

// Codes with a length rule of their own below, and those without parameters.
constexpr std::string_view kEscOther = "*&D(Z@2<iLmSv\x0c";
constexpr std::string_view kFsOther = "2q(g&.";
constexpr std::string_view kGsOther = "(*8CQvVgkz:<\x0c";

template <size_t N>
size_t FixedParams(const Arity (&table)[N], uint8_t code) {
  for (const Arity& a : table) {
    if (a.codes.find(static_cast<char>(code)) != std::string_view::npos) return a.params;
  }
  return 0;
}

template <size_t N>
bool Known(const Arity (&table)[N], std::string_view other, uint8_t code) {
  return FixedParams(table, code) > 0 ||
         other.find(static_cast<char>(code)) != std::string_view::npos;
}

bool IsPrefix(uint8_t b) { return b == kDle || b == kEsc || b == kFs || b == kGs; }

}  // namespace

void EscPosParser::Reset() {
  phase_ = Phase::kText;
  done_ = false;
}

void EscPosParser::NeedHeader(size_t total) {
  if (cur_.header_len >= total) return Next();
  phase_ = Phase::kHeader;
  header_target_ = total;
}

void EscPosParser::NeedPayload(uint64_t bytes) {
  payload_left_ = bytes;
  phase_ = Phase::kPayload;
  if (bytes == 0) Next();
}

void EscPosParser::Feed(const uint8_t* data, size_t len, std::vector<Command>* out) {
  size_t i = 0;
  while (i < len) {
    switch (phase_) {
      case Phase::kText: {
        size_t j = i;
        while (j < len && !IsPrefix(data[j])) ++j;
        if (observer_ != nullptr && j > i) observer_->OnText(data + i, j - i);
        i = j;
        if (i < len) {
          cur_ = Command{};
          cur_.prefix = data[i++];
          cur_.length = 1;
          phase_ = Phase::kCode;
        }
        break;
      }
      case Phase::kCode: {
        const uint8_t b = data[i];
        if (cur_.prefix == kDle && b != 0x04 && b != 0x05 && b != 0x14) {
          // A lone DLE is just a control character; look at `b` afresh.
          phase_ = Phase::kText;
          break;
        }
        ++i;
        cur_.code = b;
        cur_.length = 2;
        step_ = 0;
        Next();
        break;
      }
      case Phase::kHeader: {
        cur_.header[cur_.header_len++] = data[i++];
        ++cur_.length;
        if (cur_.header_len >= header_target_) Next();
        break;
      }
      case Phase::kPayload: {
        const uint64_t take = std::min<uint64_t>(payload_left_, len - i);
        if (observer_ != nullptr) observer_->OnPayload(cur_, data + i, take);
        i += take;
        payload_left_ -= take;
        cur_.length += take;
        if (payload_left_ == 0) Next();
        break;
      }
      case Phase::kUntilNul: {
        if (observer_ != nullptr) observer_->OnPayload(cur_, data + i, 1);
        const uint8_t b = data[i++];
        ++cur_.length;
        if (b == 0 || --nul_budget_ == 0) Next();
        break;
      }
    }
    if (done_) {
      done_ = false;
      phase_ = Phase::kText;
      cur_.end = i;
      Classify();
      out->push_back(cur_);
      if (observer_ != nullptr) observer_->OnCommand(cur_);
    }
  }
}

void EscPosParser::Next() {
  const int step = step_++;
  switch (cur_.prefix) {
    case kDle:
      return NextDle(step);
    case kEsc:
      return NextEsc(step);
    case kFs:
      return NextFs(step);
    default:
      return NextGs(step);
  }
}

void EscPosParser::NextDle(int step) {
  switch (cur_.code) {
    case 0x04:  // DLE EOT n [a]: n 7 and 8 carry one more byte.
      if (step == 0) return NeedHeader(1);
      if (step == 1 && (H(0) == 7 || H(0) == 8)) return NeedHeader(2);
      return Finish();
    case 0x05:  // DLE ENQ n
      if (step == 0) return NeedHeader(1);
      return Finish();
    default:  // DLE DC4 fn ...
      if (step == 0) return NeedHeader(1);
      if (step == 1) {
        switch (H(0)) {
          case 1:
          case 2:
            return NeedHeader(3);
          case 3:
            return NeedHeader(6);
          case 7:
            return NeedHeader(2);
          case 8:
            return NeedHeader(8);
          default:
            break;
        }
      }
      return Finish();
  }
}

void EscPosParser::NextEsc(int step) {
  switch (cur_.code) {
    case '*':  // ESC * m nL nH d1..dk, k = n or 3n by mode.
      if (step == 0) return NeedHeader(3);
      if (step == 1) return NeedPayload((H(0) == 32 || H(0) == 33) ? 3ull * Word(1) : Word(1));
      return Finish();
    case '&':  // ESC & y c1 c2 [x d1..d(y*x)] per character c1..c2.
      if (step == 0) return NeedHeader(3);
      if (step == 1) {
        repeat_left_ = H(2) >= H(1) ? H(2) - H(1) + 1 : 0;
        if (repeat_left_ == 0) return Finish();
        return NeedHeader(4);
      }
      if (step % 2 == 0) return NeedPayload(static_cast<uint64_t>(H(0)) * H(3));
      if (--repeat_left_ == 0) return Finish();
      cur_.header_len = 3;
      return NeedHeader(4);
    case 'D':  // ESC D n1..nk NUL, at most 32 tab positions.
      if (step == 0) {
        phase_ = Phase::kUntilNul;
        nul_budget_ = 33;
        return;
      }
      return Finish();
    case '(':  // ESC ( fn pL pH ...
      if (step == 0) return NeedHeader(3);
      if (step == 1) return NeedPayload(Word(1));
      return Finish();
    case 'Z':  // ESC Z v l s dL dH d1..dk: the symbol GS Z chose.
      if (step == 0) return NeedHeader(5);
      if (step == 1) return NeedPayload(Word(3));
      return Finish();
    default: {
      const size_t k = FixedParams(kEscArity, cur_.code);
      if (step == 0 && k > 0) return NeedHeader(k);
      return Finish();
    }
  }
}

void EscPosParser::NextFs(int step) {
  switch (cur_.code) {
    case '2':  // FS 2 c1 c2 + 24x24 dot pattern.
      if (step == 0) return NeedHeader(2);
      if (step == 1) return NeedPayload(72);
      return Finish();
    case 'q':  // FS q n [xL xH yL yH d1..d(x*y*8)] n times.
      if (step == 0) return NeedHeader(1);
      if (step == 1) {
        repeat_left_ = H(0);
        if (repeat_left_ == 0) return Finish();
        return NeedHeader(5);
      }
      if (step % 2 == 0) return NeedPayload(8ull * Word(1) * Word(3));
      if (--repeat_left_ == 0) return Finish();
      cur_.header_len = 1;
      return NeedHeader(5);
    case '(':
      if (step == 0) return NeedHeader(3);
      if (step == 1) return NeedPayload(Word(1));
      return Finish();
    case 'g':  // FS g 1 m a1..a4 nL nH d1..dk / FS g 2 m a1..a4 nL nH
      if (step == 0) return NeedHeader(1);
      if (step == 1 && (H(0) == '1' || H(0) == '2')) return NeedHeader(8);
      if (step == 2 && H(0) == '1') return NeedPayload(Word(6));
      return Finish();
    default: {
      const size_t k = FixedParams(kFsArity, cur_.code);
      if (step == 0 && k > 0) return NeedHeader(k);
      return Finish();
    }
  }
}

void EscPosParser::NextGs(int step) {
  switch (cur_.code) {
    case '(': {  // GS ( fn pL pH ...; the first payload bytes are kept.
      if (step == 0) return NeedHeader(3);
      const uint32_t size = Word(1);
      const uint32_t peek = std::min<uint32_t>(size, H(0) == 'L' ? kGraphicsPeek : 6);
      if (step == 1) return NeedHeader(3 + peek);
      if (step == 2) return NeedPayload(size - peek);
      return Finish();
    }
    case '*':  // GS * x y d1..d(x*y*8)
      if (step == 0) return NeedHeader(2);
      if (step == 1) return NeedPayload(8ull * H(0) * H(1));
      return Finish();
    case '8': {  // GS 8 L p1..p4 ..., 32-bit length; the first payload bytes are kept.
      if (step == 0) return NeedHeader(1);
      if (step == 1 && H(0) == 'L') return NeedHeader(5);
      if (step < 2 || H(0) != 'L') return Finish();
      const uint64_t size = H(1) | (static_cast<uint64_t>(H(2)) << 8) |
                            (static_cast<uint64_t>(H(3)) << 16) |
                            (static_cast<uint64_t>(H(4)) << 24);
      const uint64_t peek = std::min<uint64_t>(size, kGraphicsPeek);
      if (step == 2) return NeedHeader(5 + peek);
      if (step == 3) return NeedPayload(size - peek);
      return Finish();
    }
    case 'C':  // GS C 0 n m / GS C 1 aL aH bL bH n r / GS C 2 nL nH
      if (step == 0) return NeedHeader(1);
      if (step == 1 && (H(0) == '0' || H(0) == '2')) return NeedHeader(3);
      if (step == 1 && H(0) == '1') return NeedHeader(7);
      return Finish();
    case 'Q':  // GS Q 0 m xL xH yL yH d1..d(x*y)
    case 'v':  // GS v 0 m xL xH yL yH d1..d(x*y)
      if (step == 0) return NeedHeader(1);
      if (step == 1 && H(0) == '0') return NeedHeader(6);
      if (step == 2) return NeedPayload(static_cast<uint64_t>(Word(2)) * Word(4));
      return Finish();
    case 'V':  // GS V m [n]
      if (step == 0) return NeedHeader(1);
      if (step == 1) {
        switch (H(0)) {
          case 65:
          case 66:
          case 97:
          case 98:
          case 103:
          case 104:
            return NeedHeader(2);
          default:
            break;
        }
      }
      return Finish();
    case 'g':  // GS g 0 m nL nH / GS g 2 m nL nH
      if (step == 0) return NeedHeader(1);
      if (step == 1 && (H(0) == '0' || H(0) == '2')) return NeedHeader(4);
      return Finish();
    case 'k':  // GS k m d1..dk NUL (m 0..6) / GS k m n d1..dn (m 65..79)
      if (step == 0) return NeedHeader(1);
      if (step == 1 && H(0) <= 6) {
        phase_ = Phase::kUntilNul;
        nul_budget_ = 256;
        return;
      }
      if (step == 1 && H(0) >= 65 && H(0) <= 79) return NeedHeader(2);
      if (step == 2 && H(0) >= 65) return NeedPayload(H(1));
      return Finish();
    case 'z':  // GS z 0 t1 t2
      if (step == 0) return NeedHeader(1);
      if (step == 1 && H(0) == '0') return NeedHeader(3);
      return Finish();
    default: {
      const size_t k = FixedParams(kGsArity, cur_.code);
      if (step == 0 && k > 0) return NeedHeader(k);
      return Finish();
    }
  }
}

void EscPosParser::Classify() {
  CommandKind kind = CommandKind::kOther;
  const uint8_t c = cur_.code;
  cur_.known = cur_.prefix == kDle   ? true
               : cur_.prefix == kEsc ? Known(kEscArity, kEscOther, c)
               : cur_.prefix == kFs  ? Known(kFsArity, kFsOther, c)
                                     : Known(kGsArity, kGsOther, c);
  if (cur_.prefix == kDle) {
    kind = c == 0x04   ? CommandKind::kDleEot
           : c == 0x05 ? CommandKind::kDleEnq
                       : CommandKind::kDleDc4;
  } else if (cur_.prefix == kEsc) {
    if (c == '@') kind = CommandKind::kInitialize;
    if (c == 'u') kind = CommandKind::kPeripheralStatus;
    if (c == 'v') kind = CommandKind::kPaperStatus;
  } else if (cur_.prefix == kGs) {
    if (c == 'a') kind = CommandKind::kAsbEnable;
    if (c == 'r') kind = CommandKind::kTransmitStatus;
    if (c == 'I') kind = CommandKind::kPrinterId;
    if (c == '(' && cur_.header_len == 9 && H(0) == 'H' && Word(1) == 6 && H(3) == 48 &&
        H(4) == 48) {
      kind = CommandKind::kProcessId;
    }
  }
  cur_.kind = kind;
}

}  // namespace escpos
