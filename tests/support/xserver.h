// Test helper: an X server of the test's own (Xvfb), with a screen of the test's choosing, that
// the test may take away; and programs started against it, such as a window manager.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

class PrivateXServer {
 public:
  // Starts Xvfb on a free display number with one screen, e.g. "800x600x24" or "640x480x8".
  explicit PrivateXServer(const std::string& screen = "640x480x24");
  ~PrivateXServer();  // ends the server and whatever was started against it
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // Whether the server accepts connections.
  bool up() const { return up_; }
  // ":N", for DISPLAY.
  const std::string& display() const { return display_; }
  // Starts argv[0] (looked up in PATH) with DISPLAY set to this server, its output thrown away.
  // False when it cannot be started. It is ended with the server.
  bool Spawn(const std::vector<std::string>& argv);
  // Ends the server at once (it still removes its lock and socket, unlike after SIGKILL).
  void Kill();

 private:
  pid_t server_ = 0;
  std::vector<pid_t> clients_;
  bool up_ = false;
  std::string display_;
};

// Sets DISPLAY for the life of the object, and puts the old value back.
class ScopedDisplay {
 public:
  explicit ScopedDisplay(const std::string& display);
  ~ScopedDisplay();
  ScopedDisplay(const ScopedDisplay&) = delete;
  ScopedDisplay& operator=(const ScopedDisplay&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace testing_support
