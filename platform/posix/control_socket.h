// The control socket of a running relay: a Unix-domain stream socket in the
// program's folder, so that commands of the same installation reach the relay
// that runs there (the single-instance lock beside it says there is only
// one). The socket is the owner's alone (mode 0600, and a peer of another
// user id is refused by its credentials); one request per connection, one
// connection at a time, each bounded in size and time. A folder whose path
// is too long for a socket address is reached through /proc/self/fd.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace platform::posix {

// ".NAME.control" beside the lock file ".NAME.lock".
std::string ControlSocketName(const std::string& name);

class ControlServer {
 public:
  // The answer to one request line (without its newline); runs on the
  // server's thread.
  using Handler = std::function<std::string(const std::string& request)>;
  static constexpr int kBacklog = 4;
  static constexpr int kIoTimeoutMs = 2000;

  ControlServer() = default;
  ~ControlServer() { Stop(); }
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Only the instance that holds the single-instance lock calls this: a
  // socket file left by one that ended without Stop is replaced. 0, or errno.
  int Start(const std::string& folder, const std::string& name, std::size_t maxRequest,
            Handler handler);
  // Ends the thread and removes the socket file.
  void Stop();

 private:
  void Serve();
  void ServeOne(int connection);

  Handler handler_;
  std::size_t maxRequest_ = 0;
  std::string path_;
  int folder_ = -1;  // kept open while the path goes through /proc/self/fd
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

// Sends one request to the relay of that folder and reads its whole answer
// (at most `maxAnswer` bytes). 0, or errno: ENOENT or ECONNREFUSED when no
// relay listens there, EACCES when it is another user's.
int AskControl(const std::string& folder, const std::string& name, const std::string& request,
               std::size_t maxAnswer, std::string& answer);

}  // namespace platform::posix
