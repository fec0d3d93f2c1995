// A network printer that drops idle connections, for tests: a TCP forwarder
// on 127.0.0.N:port in front of the printer simulator. Every connection it
// accepts is joined to a fresh connection to the simulator; DropClients()
// closes the accepted ones the way a printer closes an idle port-9100
// connection, and new connections are taken as before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace support {

class TcpProxy {
 public:
  TcpProxy() = default;
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  // Listens on ip:port and forwards to targetIp:targetPort. False when the
  // address cannot be taken.
  bool Start(const std::string& ip, uint16_t port, const std::string& targetIp,
             uint16_t targetPort);
  void DropClients();
  // Waits until `count` connections have been accepted in all.
  bool WaitAccepted(int count, int timeoutMs);

 private:
  void Run();

  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::string targetIp_;
  uint16_t targetPort_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  int accepted_ = 0;
  bool drop_ = false;
};

}  // namespace support
