// pos-send: prints to a COM port the way a point-of-sale program does. It
// opens the port (raw, 8N1), asks the printer for its status (DLE EOT 2 and 4)
// and prints what came back, writes a receipt, and closes the port.
//
//   pos-send --port PATH [--receipt demo | --file FILE] [--save FILE]
//            [--status] [--baud N] [--wait-ms N]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/pos-send/demo_receipt.h"

namespace {

using Bytes = std::vector<uint8_t>;
using posdemo::DemoReceipt;

speed_t Speed(int baud) {
  switch (baud) {
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B9600;
  }
}

Bytes ReadFor(int fd, int ms, size_t want) {
  Bytes got;
  while (got.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) break;
    uint8_t b[256];
    ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) break;
    got.insert(got.end(), b, b + n);
  }
  return got;
}

std::string Hex(const Bytes& b) {
  std::string s;
  char x[4];
  for (uint8_t c : b) {
    std::snprintf(x, sizeof x, "%02X", c);
    s += x;
  }
  return s.empty() ? "(nothing)" : s;
}

constexpr const char* kUsage =
    "usage: pos-send --port PATH [--receipt demo | --file FILE] [--save FILE]\n"
    "                [--status] [--baud N] [--wait-ms N]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string port, file, save;
  bool demo = false, status = false;
  int baud = 9600, waitMs = 2000;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(
          "Writes a receipt job to a COM port as a point-of-sale program does and, with\n"
          "--status, asks the printer's status and prints the answer.\n",
          stdout);
      return 0;
    } else if (a == "--port")
      port = next();
    else if (a == "--file")
      file = next();
    else if (a == "--save")
      save = next();
    else if (a == "--receipt")
      demo = next() == "demo";
    else if (a == "--status")
      status = true;
    else if (a == "--baud")
      baud = std::atoi(next().c_str());
    else if (a == "--wait-ms")
      waitMs = std::atoi(next().c_str());
    else
      return Usage();
  }
  if (port.empty()) return Usage();

  Bytes job;
  if (demo) job = DemoReceipt();
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "pos-send: cannot read %s\n", file.c_str());
      return 1;
    }
    job.assign(std::istreambuf_iterator<char>(in), {});
  }

  int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) {
    std::fprintf(stderr, "pos-send: cannot open %s: %s\n", port.c_str(), std::strerror(errno));
    return 1;
  }
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, Speed(baud));
    cfsetospeed(&t, Speed(baud));
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
  }

  if (status) {
    for (int n : {2, 4}) {
      const uint8_t query[3] = {0x10, 0x04, static_cast<uint8_t>(n)};
      if (write(fd, query, 3) != 3) break;
      std::printf("DLE EOT %d -> %s\n", n, Hex(ReadFor(fd, waitMs, 1)).c_str());
    }
  }
  size_t done = 0;
  while (done < job.size()) {
    ssize_t n = write(fd, job.data() + done, job.size() - done);
    if (n <= 0) {
      std::fprintf(stderr, "pos-send: write failed: %s\n", std::strerror(errno));
      close(fd);
      return 1;
    }
    done += static_cast<size_t>(n);
  }
  if (!job.empty()) std::printf("sent %zu bytes\n", job.size());
  if (!save.empty())
    std::ofstream(save, std::ios::binary)
        .write(reinterpret_cast<const char*>(job.data()), static_cast<std::streamsize>(job.size()));
  tcdrain(fd);
  close(fd);
  return 0;
}
