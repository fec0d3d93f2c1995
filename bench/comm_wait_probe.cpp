// comm_wait_probe: how a COM port's driver handles an overlapped
// WaitCommEvent for received characters (EV_RXCHAR), the wait portrelay uses
// between jobs. relay_bench --wine runs it under Wine on a pseudo-terminal
// pair in dosdevices to show what Wine's serial layer does with that wait.
//
//   comm_wait_probe.exe COMx COMy    (two ends of one null-modem pair)
//
// It reports: whether the port has modem lines; whether a wait with no input
// stays pending, and whether CancelIoEx or a new event mask ends it; how soon
// a wait ends once a byte is written at the other end; and the processor
// time of a process that keeps such a wait pending.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

HANDLE OpenPort(const std::string& name) {
  const std::string path = "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  SetCommTimeouts(h, &t);
  PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  return h;
}

DWORD Queued(HANDLE h) {
  DWORD errors = 0;
  COMSTAT stat{};
  return ClearCommError(h, &errors, &stat) ? stat.cbInQue : 0;
}

void Drain(HANDLE h) {
  char buffer[256];
  for (DWORD n = Queued(h); n > 0; n = Queued(h)) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD got = 0;
    if (!ReadFile(h, buffer, std::min<DWORD>(n, sizeof buffer), &got, &ov))
      GetOverlappedResult(h, &ov, &got, TRUE);
    CloseHandle(ov.hEvent);
  }
}

struct Wait {
  OVERLAPPED ov{};
  DWORD mask = 0;
  bool pending = false;
  double startedMs = 0;

  explicit Wait(HANDLE h) {
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    startedMs = NowMs();
    if (WaitCommEvent(h, &mask, &ov))
      SetEvent(ov.hEvent);
    else
      pending = GetLastError() == ERROR_IO_PENDING;
  }
  ~Wait() { CloseHandle(ov.hEvent); }
  bool EndsWithin(DWORD ms) { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::printf(
        "usage: comm_wait_probe COMx COMy\n"
        "How this machine's COM port driver handles the wait for received characters\n"
        "between jobs: COMx is waited on, COMy is its peer that writes.\n");
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: comm_wait_probe COMx COMy\n");
    return 2;
  }
  HANDLE port = OpenPort(argv[1]), peer = OpenPort(argv[2]);
  if (!port || !peer) {
    std::printf("probe: cannot open %s and %s\n", argv[1], argv[2]);
    return 1;
  }
  DWORD lines = 0;
  std::printf("probe: modem lines: %s\n",
              GetCommModemStatus(port, &lines) ? "reported" : "not reported");
  SetCommMask(port, EV_RXCHAR);

  {
    Wait idle(port);
    if (!idle.pending && !idle.EndsWithin(0)) {
      std::printf("probe: WaitCommEvent fails at once (error %lu)\n", GetLastError());
    } else if (idle.EndsWithin(500)) {
      std::printf("probe: a wait with no input ends by itself after %.1f ms, events %lu\n",
                  NowMs() - idle.startedMs, idle.mask);
    } else {
      std::printf("probe: a wait with no input stays pending (500 ms)\n");
      double asked = NowMs();
      CancelIoEx(port, &idle.ov);
      if (idle.EndsWithin(500)) {
        std::printf("probe: CancelIoEx ends it after %.1f ms\n", NowMs() - asked);
      } else {
        std::printf("probe: CancelIoEx does not end it (500 ms)\n");
        asked = NowMs();
        SetCommMask(port, EV_RXCHAR);
        if (idle.EndsWithin(500))
          std::printf("probe: a new event mask ends it after %.1f ms\n", NowMs() - asked);
        else
          std::printf("probe: a new event mask does not end it either (500 ms)\n");
      }
    }
  }

  // A byte written at the other end while a wait is pending.
  std::vector<double> ends;
  int early = 0, withEvent = 0;
  const int rounds = 20;
  for (int i = 0; i < rounds; ++i) {
    Drain(port);
    Wait wait(port);
    Sleep(20);
    if (wait.EndsWithin(0)) {
      ++early;
      continue;
    }
    OVERLAPPED wo{};
    wo.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const double written = NowMs();
    DWORD n = 0;
    if (!WriteFile(peer, "x", 1, &n, &wo)) GetOverlappedResult(peer, &wo, &n, TRUE);
    CloseHandle(wo.hEvent);
    if (wait.EndsWithin(1000)) {
      ends.push_back(NowMs() - written);
      if (wait.mask & EV_RXCHAR) ++withEvent;
    } else {
      CancelIoEx(port, &wait.ov);
      SetCommMask(port, EV_RXCHAR);
      wait.EndsWithin(500);
    }
  }
  std::sort(ends.begin(), ends.end());
  std::printf("probe: of %d waits, %d ended before any byte came", rounds, early);
  if (!ends.empty())
    std::printf(
        "; %zu ended after the byte was written (median %.2f ms, largest %.2f ms), %d of "
        "them with EV_RXCHAR",
        ends.size(), ends[ends.size() / 2], ends.back(), withEvent);
  std::printf("\n");

  // Processor time of a process that keeps one wait pending for 2 s.
  Drain(port);
  {
    Wait pending(port);
    const double before = CpuSeconds();
    if (pending.EndsWithin(2000))
      std::printf("probe: a wait does not stay pending: no processor time to measure\n");
    else
      std::printf("probe: processor time with a wait pending for 2 s: %.3f s\n",
                  CpuSeconds() - before);
    SetCommMask(port, EV_RXCHAR);
    pending.EndsWithin(500);
  }
  CloseHandle(peer);
  CloseHandle(port);
  return 0;
}
