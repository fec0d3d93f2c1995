// Parser tests: every command shape is skipped by its exact length, however
// the stream is cut into chunks, and payload bytes that look like DLE EOT are
// never reported as commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "escpos/parser.h"

namespace escpos {
namespace {

using Bytes = std::vector<uint8_t>;

struct Sample {
  const char* what;
  Bytes bytes;
  std::string name;
  std::string arg;
  CommandKind kind = CommandKind::kOther;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// n bytes of a pattern full of DLE EOT look-alikes.
Bytes Trap(size_t n) {
  static const uint8_t kPattern[] = {0x10, 0x04, 0x02, 0x1D, 0x61, 0x01, 0x1B};
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = kPattern[i % sizeof kPattern];
  return out;
}

std::vector<Sample> Samples() {
  return {
      {"ESC @", {0x1B, 0x40}, "ESC_@", "", CommandKind::kInitialize},
      {"ESC ! n", {0x1B, 0x21, 0x10}, "ESC_!", "16"},
      {"ESC p m t1 t2", {0x1B, 0x70, 0x00, 0x10, 0x04}, "ESC_p", "len=5"},
      {"ESC * 8-dot", Cat({{0x1B, 0x2A, 0x00, 0x05, 0x00}, Trap(5)}), "ESC_*", "len=10"},
      {"ESC * 24-dot", Cat({{0x1B, 0x2A, 0x21, 0x03, 0x00}, Trap(9)}), "ESC_*", "len=14"},
      {"ESC & two chars", Cat({{0x1B, 0x26, 0x03, 0x41, 0x42, 0x02}, Trap(6), {0x01}, Trap(3)}),
       "ESC_&", "len=16"},
      {"ESC D tabs", {0x1B, 0x44, 0x04, 0x10, 0x00}, "ESC_D", "len=5"},
      {"ESC ( A beeper", Cat({{0x1B, 0x28, 0x41, 0x04, 0x00}, Trap(4)}), "ESC_(A", "len=9"},
      {"ESC u", {0x1B, 0x75, 0x00}, "ESC_u", "0", CommandKind::kPeripheralStatus},
      {"ESC v", {0x1B, 0x76}, "ESC_v", "", CommandKind::kPaperStatus},
      {"FS p", {0x1C, 0x70, 0x01, 0x00}, "FS_p", "len=4"},
      {"FS 2 user char", Cat({{0x1C, 0x32, 0x77, 0xA1}, Trap(72)}), "FS_2", "len=76"},
      {"FS q one image", Cat({{0x1C, 0x71, 0x01, 0x01, 0x00, 0x02, 0x00}, Trap(16)}), "FS_q",
       "len=23"},
      {"FS g 1 write", Cat({{0x1C, 0x67, 0x31, 0, 0, 0, 0, 0, 0x03, 0x00}, Trap(3)}), "FS_g1",
       "len=13"},
      {"GS v 0 raster", Cat({{0x1D, 0x76, 0x30, 0x00, 0x03, 0x00, 0x04, 0x00}, Trap(12)}), "GS_v0",
       "len=20"},
      {"GS ( k QR store", Cat({{0x1D, 0x28, 0x6B, 0x0B, 0x00, 0x31, 0x50, 0x30}, Trap(8)}), "GS_(k",
       "len=16"},
      {"GS ( L graphics", Cat({{0x1D, 0x28, 0x4C, 0x07, 0x00, 0x30, 0x70}, Trap(5)}), "GS_(L",
       "len=12"},
      {"GS ( k empty", {0x1D, 0x28, 0x6B, 0x00, 0x00}, "GS_(k", "len=5"},
      {"GS 8 L large graphics",
       Cat({{0x1D, 0x38, 0x4C, 0x06, 0x00, 0x00, 0x00, 0x30, 0x70}, Trap(4)}), "GS_8L", "len=13"},
      {"GS ( L raster store, header kept",
       Cat({{0x1D, 0x28, 0x4C, 0x0E, 0x00, 0x30, 0x70, 0x30, 1, 1, 0x31, 0x08, 0, 0x04, 0},
            Trap(4)}),
       "GS_(L", "len=19"},
      {"GS 8 L raster store, header kept",
       Cat({{0x1D, 0x38, 0x4C, 0x0E, 0, 0, 0, 0x30, 0x70, 0x30, 1, 1, 0x31, 0x08, 0, 0x04, 0},
            Trap(4)}),
       "GS_8L", "len=21"},
      {"GS Z then ESC Z symbol", {0x1D, 0x5A, 0x02}, "GS_Z", "2"},
      {"ESC Z symbol data", Cat({{0x1B, 0x5A, 0x03, 0x4C, 0x06, 0x05, 0x00}, Trap(5)}), "ESC_Z",
       "len=12"},
      {"ESC $ absolute position", {0x1B, 0x24, 0x10, 0x04}, "ESC_$", "len=4"},
      {"ESC \\ relative position", {0x1B, 0x5C, 0xF0, 0xFF}, "ESC_\\", "len=4"},
      {"GS L left margin", {0x1D, 0x4C, 0x10, 0x04}, "GS_L", "len=4"},
      {"GS W print width", {0x1D, 0x57, 0x40, 0x02}, "GS_W", "len=4"},
      {"ESC l margin of other makes", {0x1B, 0x6C, 0x10}, "ESC_l", "16"},
      {"GS * download image", Cat({{0x1D, 0x2A, 0x01, 0x02}, Trap(16)}), "GS_*", "len=20"},
      {"GS Q 0 variable image", Cat({{0x1D, 0x51, 0x30, 0x00, 0x02, 0x00, 0x03, 0x00}, Trap(6)}),
       "GS_Q0", "len=14"},
      {"GS k format A", {0x1D, 0x6B, 0x04, 0x31, 0x32, 0x00}, "GS_k", "len=6"},
      {"GS k format B", Cat({{0x1D, 0x6B, 0x49, 0x04}, Trap(4)}), "GS_k", "len=8"},
      {"GS V 66 n", {0x1D, 0x56, 0x42, 0x10}, "GS_V", "len=4"},
      {"GS V 1", {0x1D, 0x56, 0x01}, "GS_V", "1"},
      {"GS C 1 counter", {0x1D, 0x43, 0x31, 0x10, 0x04, 0x01, 0, 1, 1}, "GS_C1", "len=9"},
      {"GS z 0", {0x1D, 0x7A, 0x30, 0x10, 0x04}, "GS_z0", "len=5"},
      {"GS a", {0x1D, 0x61, 0xFF}, "GS_a", "255", CommandKind::kAsbEnable},
      {"GS r", {0x1D, 0x72, 0x31}, "GS_r", "49", CommandKind::kTransmitStatus},
      {"GS I", {0x1D, 0x49, 0x43}, "GS_I", "67", CommandKind::kPrinterId},
      {"GS ( H process ID",
       {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 0x10, 0x04, 0x02, 0x41},
       "GS_(H",
       "10040241",
       CommandKind::kProcessId},
      {"GS ( H other function", {0x1D, 0x28, 0x48, 0x03, 0x00, 0x31, 0x10, 0x04}, "GS_(H", "len=8"},
      {"DLE EOT", {0x10, 0x04, 0x04}, "DLE_EOT", "4", CommandKind::kDleEot},
      {"DLE EOT 7 a", {0x10, 0x04, 0x07, 0x01}, "DLE_EOT", "len=4", CommandKind::kDleEot},
      {"DLE ENQ", {0x10, 0x05, 0x02}, "DLE_ENQ", "2", CommandKind::kDleEnq},
      {"DLE DC4 clear buffers",
       {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08},
       "DLE_DC4",
       "len=10",
       CommandKind::kDleDc4},
      {"DLE DC4 pulse", {0x10, 0x14, 0x01, 0x00, 0x01}, "DLE_DC4", "len=5", CommandKind::kDleDc4},
  };
}

const Bytes kStatusRequest = {0x10, 0x04, 0x01};

std::vector<Command> Parse(EscPosParser& parser, const Bytes& data) {
  std::vector<Command> out;
  parser.Feed(data.data(), data.size(), &out);
  return out;
}

std::vector<Command> ParseInChunks(const Bytes& data, const std::vector<size_t>& cuts) {
  EscPosParser parser;
  std::vector<Command> out;
  size_t start = 0;
  for (size_t cut : cuts) {
    parser.Feed(data.data() + start, cut - start, &out);
    start = cut;
  }
  parser.Feed(data.data() + start, data.size() - start, &out);
  return out;
}

// Each command is consumed by its exact length: followed by a status request,
// exactly two commands come out and the request is still recognised, also
// when the bytes arrive one at a time.
TEST(EscPosParserTest, EachCommandShapeHasItsExactLength) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.what);
    const Bytes stream = Cat({s.bytes, kStatusRequest});
    std::vector<size_t> every_byte;
    for (size_t i = 1; i < stream.size(); ++i) every_byte.push_back(i);
    for (const auto& cuts : {std::vector<size_t>{}, every_byte}) {
      const std::vector<Command> cmds = ParseInChunks(stream, cuts);
      ASSERT_EQ(cmds.size(), 2u);
      EXPECT_EQ(cmds[0].Name(), s.name);
      EXPECT_EQ(cmds[0].Argument(), s.arg);
      EXPECT_EQ(cmds[0].kind, s.kind);
      EXPECT_EQ(cmds[0].length, s.bytes.size());
      EXPECT_EQ(cmds[1].kind, CommandKind::kDleEot);
      EXPECT_EQ(cmds[1].n(), 1);
    }
  }
}

// One stream of all shapes and text, cut in two at every position and into
// random pieces: always the same command sequence with consistent offsets.
TEST(EscPosParserTest, ChunkBoundariesNeverChangeTheResult) {
  Bytes stream;
  std::vector<std::string> expected;
  for (const Sample& s : Samples()) {
    stream = Cat({stream, s.bytes, {'a', 'b', '\n'}});
    expected.push_back(s.name);
  }
  auto names = [](const std::vector<Command>& cmds) {
    std::vector<std::string> out;
    for (const Command& c : cmds) out.push_back(c.Name());
    return out;
  };
  ASSERT_EQ(names(ParseInChunks(stream, {})), expected);
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    ASSERT_EQ(names(ParseInChunks(stream, {cut})), expected) << "cut at " << cut;
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<size_t> cuts;
    for (size_t pos = 0;;) {
      pos += 1 + rng() % 9;
      if (pos >= stream.size()) break;
      cuts.push_back(pos);
    }
    ASSERT_EQ(names(ParseInChunks(stream, cuts)), expected) << "round " << round;
  }
}

TEST(EscPosParserTest, EndOffsetsPointJustPastEachCommand) {
  EscPosParser parser;
  const Bytes chunk = {'x', 0x1B, 0x40, 'y', 'z', 0x10, 0x04, 0x02, 'w'};
  const auto cmds = Parse(parser, chunk);
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].end, 3u);
  EXPECT_EQ(cmds[1].end, 8u);
}

// A multi-megabyte raster image made entirely of status-request look-alikes,
// delivered in transport-sized chunks: one command, skipped quickly.
TEST(EscPosParserTest, LargeRasterPayloadIsSkippedWhole) {
  const uint32_t width_bytes = 1024, height = 8192;  // 8 MiB.
  Bytes header = {0x1D, 0x76, 0x30, 0x00, 0x00, 0x04, 0x00, 0x20};
  const Bytes stream = Cat({header, Trap(size_t{width_bytes} * height), kStatusRequest});
  EscPosParser parser;
  std::vector<Command> cmds;
  const auto start = std::chrono::steady_clock::now();
  for (size_t pos = 0; pos < stream.size(); pos += 65536) {
    const size_t len = std::min<size_t>(65536, stream.size() - pos);
    parser.Feed(stream.data() + pos, len, &cmds);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].Name(), "GS_v0");
  EXPECT_EQ(cmds[0].length, header.size() + size_t{width_bytes} * height);
  EXPECT_EQ(cmds[1].kind, CommandKind::kDleEot);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

// What a renderer sees: every byte once, in order, as text, header or
// payload, whatever the chunking.
struct Recorder : StreamObserver {
  std::string text;
  Bytes payload;
  std::vector<Command> commands;
  uint64_t header_bytes = 0;
  void OnText(const uint8_t* data, size_t len) override { text.append(data, data + len); }
  void OnPayload(const Command&, const uint8_t* data, size_t len) override {
    payload.insert(payload.end(), data, data + len);
  }
  void OnCommand(const Command& cmd) override {
    commands.push_back(cmd);
    header_bytes += 2 + cmd.header_len;
  }
};

TEST(EscPosParserTest, ObserverSeesTextPayloadAndCommandsInOrder) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.what);
    const Bytes stream = Cat({{'a', 'b'}, s.bytes, {'c', '\n'}});
    for (size_t step : {stream.size(), size_t{1}, size_t{3}}) {
      Recorder seen;
      EscPosParser parser;
      parser.set_observer(&seen);
      std::vector<Command> out;
      for (size_t pos = 0; pos < stream.size(); pos += step) {
        parser.Feed(stream.data() + pos, std::min(step, stream.size() - pos), &out);
      }
      EXPECT_EQ(seen.text, "abc\n");
      ASSERT_EQ(seen.commands.size(), 1u);
      EXPECT_EQ(seen.commands[0].Name(), s.name);
      // ESC & and FS q repeat a header per block; the rest is header + payload.
      const bool repeats = s.name == "ESC_&" || s.name == "FS_q";
      if (repeats) continue;
      EXPECT_EQ(seen.header_bytes + seen.payload.size(), s.bytes.size());
      // The payload is the command's tail, byte for byte.
      EXPECT_TRUE(std::equal(seen.payload.begin(), seen.payload.end(),
                             s.bytes.end() - static_cast<long>(seen.payload.size())));
    }
  }
}

TEST(EscPosParserTest, LoneDleIsTextAndTheNextByteIsLookedAtAgain) {
  EscPosParser parser;
  const auto cmds = Parse(parser, {0x10, 'A', 0x10, 0x10, 0x04, 0x03});
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].Name(), "DLE_EOT");
  EXPECT_EQ(cmds[0].n(), 3);
}

TEST(EscPosParserTest, UnterminatedTabListEndsAfterItsLimit) {
  EscPosParser parser;
  Bytes stream = {0x1B, 0x44};
  stream.insert(stream.end(), 33, 0x05);  // No NUL within 32 positions + NUL.
  const auto cmds = Parse(parser, Cat({stream, kStatusRequest}));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[1].kind, CommandKind::kDleEot);
}

TEST(EscPosParserTest, ResetDropsAPartialCommand) {
  EscPosParser parser;
  EXPECT_TRUE(Parse(parser, {0x1D, 0x76, 0x30, 0x00, 0x10, 0x00}).empty());
  EXPECT_TRUE(parser.InCommand());
  parser.Reset();
  const auto cmds = Parse(parser, kStatusRequest);
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].kind, CommandKind::kDleEot);
}

}  // namespace
}  // namespace escpos
